#include "qt/frm_orvane.h"

#include "support/fakes.h"
#include "support/temp_tree.h"
#include "qt/app_lifetime.h"
#include "qt/qt_app_support.h"
#include "qt/session_end.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <map>

namespace orvane {
namespace {

using test::FakeFileSystem;
using test::FakeMMControl;

// Notes what the store held for PlayPath when the window closed the control.
class ClosingControl : public FakeMMControl {
public:
    explicit ClosingControl(SettingsProvider& settings) : settings_(settings) {}
    void setCommand(const std::string& command) override
    {
        FakeMMControl::setCommand(command);
        if (command == "Close")
            playPathAtClose.push_back(
                settings_.ReadRegValue("HKEY_CURRENT_USER\\Software\\Orvane\\PlayPath"));
    }
    std::vector<std::string> playPathAtClose;

private:
    SettingsProvider& settings_;
};

class MainWindowTest : public ::testing::Test {
protected:
    void storeSettings(const char* order, const char* sub, const char* repeat, const char* path)
    {
        sandbox.setValue("Version", "3.0.0");
        sandbox.setValue("PlayOrder", order);
        sandbox.setValue("Sub", sub);
        sandbox.setValue("Repeat", repeat);
        sandbox.setValue("PlayPath", path);
    }

    frmOrvane& open()
    {
        auto control = std::make_unique<ClosingControl>(sandbox.settings());
        mm = control.get();
        auto files = std::make_unique<FakeFileSystem>();
        fs = files.get();
        window = std::make_unique<frmOrvane>(std::move(control), std::move(files), sandbox.settings());
        window->show();
        return *window;
    }

    // The program's end as main() wires it: a termination request closes the
    // window, and the lifetime rule then ends the program (counted here).
    struct ProgramEnd {
        explicit ProgramEnd(MainWindowTest& t)
            : lifetime([this] { ++ends; })
            , sessionEnd([&t] { SessionEnd::closeProgram(t.window.get()); })
        {
            QObject::connect(t.window.get(), &frmOrvane::unloaded, &lifetime,
                             [this] { lifetime.mainWindowUnloaded(); });
        }
        int ends = 0;
        AppLifetime lifetime;
        SessionEnd sessionEnd;
    };

    static bool caught(int signal)
    {
        struct sigaction now = {};
        sigaction(signal, nullptr, &now);
        return now.sa_handler != SIG_DFL && now.sa_handler != SIG_IGN;
    }

    void type(QWidget* widget, const QString& text)
    {
        for (QChar c : text) {
            QKeyEvent event(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(widget, &event);
        }
    }

    // Answers the next modal message box with OK, keeping what it said.
    void answerNextMessageBox()
    {
        QTimer::singleShot(0, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            boxText = box->text().toStdString();
            boxTitle = box->windowTitle().toStdString();
            boxIcon = box->icon();
            boxOwner = box->parentWidget();
            box->button(QMessageBox::Ok)->click();
        });
    }

    bool shows(Ctl c)
    {
        frmOrvane& w = *window;
        switch (c) {
        case Ctl::cmdPlay: return w.cmdPlay->isEnabled();
        case Ctl::cmdPause: return w.cmdPause->isEnabled();
        case Ctl::cmdSkip: return w.cmdSkip->isEnabled();
        case Ctl::cmdStop: return w.cmdStop->isEnabled();
        case Ctl::mnuPlay: return w.mnuPlay->isEnabled();
        case Ctl::mnuPause: return w.mnuPause->isEnabled();
        case Ctl::mnuSkip: return w.mnuSkip->isEnabled();
        case Ctl::mnuStop: return w.mnuStop->isEnabled();
        case Ctl::ckRepeat: return w.ckRepeat->isEnabled();
        case Ctl::ckSub: return w.ckSub->isEnabled();
        case Ctl::optDate: return w.optDate->isEnabled();
        case Ctl::optName: return w.optName->isEnabled();
        case Ctl::cmdPath: return w.cmdPath->isEnabled();
        case Ctl::Text1: return w.Text1->isEnabled();
        case Ctl::Timer1: return w.Timer1.isActive();
        case Ctl::mnuShuffle: return w.mnuShuffle->isEnabled();
        case Ctl::mnuEvenLoudness: return w.mnuEvenLoudness->isEnabled();
        case Ctl::Count: break;
        }
        return false;
    }

    // "on" or "off" per control, for readable failures.
    std::string enabledSet()
    {
        std::string out;
        for (std::size_t i = 0; i < static_cast<std::size_t>(Ctl::Count); ++i) {
            const auto c = static_cast<Ctl>(i);
            if (c == Ctl::mnuShuffle || c == Ctl::mnuEvenLoudness)
                continue; // they follow Subdirectories, or nothing, not the arrangement
            out += std::string(ctlName(c)) + (shows(c) ? "=on " : "=off ");
        }
        return out;
    }

    test::SettingsSandbox sandbox;
    ClosingControl* mm = nullptr;
    FakeFileSystem* fs = nullptr;
    std::unique_ptr<frmOrvane> window;
    std::string boxText, boxTitle;
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    QWidget* boxOwner = nullptr;
};

const std::string IdleSet =
    "cmdPlay=on cmdPause=off cmdSkip=off cmdStop=on mnuPlay=on mnuPause=off mnuSkip=off "
    "mnuStop=on ckRepeat=on ckSub=on optDate=on optName=on cmdPath=on Text1=on Timer1=off ";

TEST_F(MainWindowTest, OpensWithTheStoredSettingsAndTheIdleSet)
{
    storeSettings("1", "1", "0", "/music/Grüße, \"live\"");
    frmOrvane& w = open();

    EXPECT_TRUE(w.optDate->isChecked());
    EXPECT_FALSE(w.optName->isChecked());
    EXPECT_TRUE(w.ckSub->isChecked());
    EXPECT_FALSE(w.ckRepeat->isChecked());
    EXPECT_EQ(w.Text1->text(), QStringLiteral("/music/Grüße, \"live\""));
    EXPECT_EQ(enabledSet(), IdleSet);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("MP3 Orvane"));
    EXPECT_TRUE(mm->log.empty()) << "loading touches no media control";
}

TEST_F(MainWindowTest, AnyOrderButOneSelectsName)
{
    for (const char* order : {"2", "0", "9", ""}) {
        SCOPED_TRACE(order);
        storeSettings(order, "0", "1", "");
        frmOrvane& w = open();
        EXPECT_FALSE(w.optDate->isChecked());
        EXPECT_TRUE(w.optName->isChecked());
        EXPECT_TRUE(w.ckRepeat->isChecked());
        EXPECT_FALSE(w.ckSub->isChecked());
    }
}

TEST_F(MainWindowTest, OrderAndCheckBoxClicksAreStoredAtOnce)
{
    storeSettings("2", "0", "0", "");
    frmOrvane& w = open();

    w.optDate->click();
    EXPECT_EQ(sandbox.value("PlayOrder"), "1");
    EXPECT_TRUE(w.optDate->isChecked());
    EXPECT_FALSE(w.optName->isChecked());
    w.optDate->click();
    EXPECT_TRUE(w.optDate->isChecked()) << "a click never clears an option";

    w.optName->click();
    EXPECT_EQ(sandbox.value("PlayOrder"), "2");
    EXPECT_FALSE(w.optDate->isChecked());
    EXPECT_TRUE(w.optName->isChecked());

    w.ckSub->click();
    EXPECT_EQ(sandbox.value("Sub"), "1");
    EXPECT_EQ(w.controls().ckSub(), 1);
    w.ckSub->click();
    EXPECT_EQ(sandbox.value("Sub"), "0");

    w.ckRepeat->click();
    EXPECT_EQ(sandbox.value("Repeat"), "1");
    EXPECT_EQ(w.controls().ckRepeat(), 1);
    w.ckRepeat->click();
    EXPECT_EQ(sandbox.value("Repeat"), "0");
}

TEST_F(MainWindowTest, TheModelShowsOnTheWidgetsAtOnce)
{
    frmOrvane& w = open();
    ControlModel& m = w.controls();

    m.setEnabled(Ctl::cmdPause, true);
    m.setEnabled(Ctl::mnuSkip, true);
    m.setEnabled(Ctl::Text1, false);
    EXPECT_TRUE(w.cmdPause->isEnabled());
    EXPECT_TRUE(w.mnuSkip->isEnabled());
    EXPECT_FALSE(w.Text1->isEnabled());

    m.setCkRepeat(1);
    m.setOptDate(true);
    m.setOptName(false);
    m.setText1("/srv/music/");
    EXPECT_TRUE(w.ckRepeat->isChecked());
    EXPECT_TRUE(w.optDate->isChecked());
    EXPECT_FALSE(w.optName->isChecked());
    EXPECT_EQ(w.Text1->text(), QStringLiteral("/srv/music/"));
    EXPECT_EQ(sandbox.value("Repeat"), "") << "values set by the player are not clicks";

    m.setEnabled(Ctl::Timer1, true);
    EXPECT_TRUE(w.Timer1.isActive());
    EXPECT_EQ(w.Timer1.interval(), 250);
    m.setEnabled(Ctl::Timer1, false);
    EXPECT_FALSE(w.Timer1.isActive());
}

TEST_F(MainWindowTest, TypingGoesIntoThePlayPathAsNativeBytes)
{
    frmOrvane& w = open();
    w.Text1->setFocus();
    type(w.Text1, QStringLiteral("/mús/ic"));
    EXPECT_EQ(w.controls().Text1(), "/m\xC3\xBAs/ic");
    EXPECT_EQ(w.Text1->text(), QStringLiteral("/mús/ic"));
    EXPECT_EQ(w.Text1->cursorPosition(), 7) << "the mirror must not move the cursor";
}

TEST_F(MainWindowTest, TypedPlayPathSurvivesARestartUnchanged)
{
    storeSettings("2", "0", "0", "");
    for (const QString& typed : {QStringLiteral("/a,b/\"q\" = x; y # z @w \\ Ünïcødé ok"),
                                QStringLiteral("@Variant(1)"), QStringLiteral(" leading and trailing ")}) {
        frmOrvane& w = open();
        w.Text1->selectAll();
        w.Text1->del();
        w.Text1->setFocus();
        type(w.Text1, typed);
        w.close();
        window.reset();
        EXPECT_EQ(open().Text1->text(), typed);
        window->close();
        window.reset();
    }
}

// As much as the box takes of a pasted path, in letters that take three
// bytes each in the settings file, comes back whole at the next start.
TEST_F(MainWindowTest, LongestPastedPlayPathSurvivesARestart)
{
    storeSettings("2", "0", "0", "");
    frmOrvane& w = open();
    QApplication::clipboard()->setText(QString(40000, QChar(0x0939)));
    w.Text1->setFocus();
    w.Text1->paste();
    const QString held = w.Text1->text();
    ASSERT_GT(held.size(), 30000);
    w.close();
    window.reset();
    EXPECT_EQ(open().Text1->text(), held);
}

TEST_F(MainWindowTest, PlayWithABadPathWarnsOverTheMainWindow)
{
    storeSettings("2", "0", "0", "/nowhere");
    frmOrvane& w = open();

    answerNextMessageBox();
    w.cmdPlay->click();

    EXPECT_EQ(boxText, "The Path you have entered is invalid!");
    EXPECT_EQ(boxTitle, "Path Error");
    EXPECT_EQ(boxIcon, QMessageBox::Warning);
    EXPECT_EQ(boxOwner, &w);
    EXPECT_EQ(enabledSet(), IdleSet);
}

// A drop: the first local folder or .mp3 file among its items plays (a file
// its folder from that file); anything else is refused and changes nothing.
TEST_F(MainWindowTest, ADroppedFolderOrMp3PlaysAndAnythingElseIsRefused)
{
    storeSettings("2", "0", "0", "/music");
    frmOrvane& w = open();
    test::TempTree tree;
    const std::string album = tree.makeFolder("Album");
    for (const char* name : {"a.mp3", "b.mp3"})
        fs->addFile(tree.makeFile(std::string("Album/") + name));
    const std::string notes = tree.makeFile("notes.txt");
    const QUrl albumUrl = QUrl::fromLocalFile(QString::fromStdString(album));
    const QUrl notesUrl = QUrl::fromLocalFile(QString::fromStdString(notes));
    const QUrl secondUrl = QUrl::fromLocalFile(QString::fromStdString(album + "/b.mp3"));

    const auto drop = [&w](const std::function<void(QMimeData&)>& fill) {
        QMimeData data;
        fill(data);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &enter);
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &dropped);
        EXPECT_EQ(enter.isAccepted(), dropped.isAccepted());
        return dropped.isAccepted();
    };
    for (const auto& refused : std::vector<std::function<void(QMimeData&)>>{
             [](QMimeData& d) { d.setText(QStringLiteral("/music")); },
             [](QMimeData& d) { d.setUrls({QUrl(QStringLiteral("https://example.org/a.mp3"))}); },
             [&](QMimeData& d) { d.setUrls({notesUrl}); },
             [&](QMimeData& d) { d.setUrls({QUrl::fromLocalFile(QString::fromStdString(album + "/gone.mp3"))}); },
         }) {
        EXPECT_FALSE(drop(refused));
        EXPECT_EQ(w.Text1->text(), QStringLiteral("/music"));
        EXPECT_EQ(enabledSet(), IdleSet);
    }

    EXPECT_TRUE(drop([&](QMimeData& d) { d.setUrls({notesUrl, albumUrl, secondUrl}); }));
    EXPECT_EQ(w.Text1->text().toStdString(), album);
    w.player().Timer1_Timer();
    EXPECT_EQ(mm->opened(), std::vector<std::string>{album + "/a.mp3"});

    EXPECT_TRUE(drop([&](QMimeData& d) { d.setUrls({secondUrl}); }));
    w.player().Timer1_Timer();
    EXPECT_EQ(mm->opened(), (std::vector<std::string>{album + "/a.mp3", album + "/b.mp3"}));
}

TEST_F(MainWindowTest, ButtonsAndMenuDriveThePlayer)
{
    storeSettings("2", "0", "0", "/m");
    frmOrvane& w = open();
    fs->addFile("/m/a.mp3");
    fs->addFile("/m/b.mp3");

    w.cmdPlay->click();
    EXPECT_FALSE(w.cmdPlay->isEnabled());
    EXPECT_TRUE(w.cmdPause->isEnabled());
    EXPECT_FALSE(w.Text1->isEnabled());
    EXPECT_TRUE(w.Timer1.isActive());
    ASSERT_TRUE(test::waitUntil([&] { return !mm->opened().empty(); }))
        << "the window's timer drives the ticks";
    EXPECT_EQ(mm->opened(), std::vector<std::string>{"/m/a.mp3"});

    mm->finish();
    ASSERT_TRUE(test::waitUntil([&] { return mm->opened().size() == 2; }))
        << "the control's completion reaches the player";

    w.cmdPause->click();
    EXPECT_EQ(mm->commands().back(), "pause");
    EXPECT_TRUE(w.cmdPlay->isEnabled());
    EXPECT_FALSE(w.mnuSkip->isEnabled());

    w.mnuStop->trigger();
    EXPECT_EQ(mm->commands().back(), "Close");
    EXPECT_EQ(enabledSet(), IdleSet);
}

// Ctrl+Left and Ctrl+Right move within the file heard; the menu's Sleep
// submenu (in the tray and on the window alike) carries the choice, and the
// window tells a screen reader the time left.
TEST_F(MainWindowTest, SeekKeysAndTheSleepSubmenu)
{
    storeSettings("2", "0", "0", "/m");
    frmOrvane& w = open();
    fs->addFile("/m/a.mp3");
    w.cmdPlay->click();
    ASSERT_TRUE(test::waitUntil([&] { return !mm->opened().empty(); }));
    mm->positionNow = 50.0;
    mm->clear();
    std::map<QKeySequence, QShortcut*> keys;
    for (QShortcut* key : w.findChildren<QShortcut*>())
        keys[key->key()] = key;
    ASSERT_TRUE(keys.count(QKeySequence(Qt::CTRL | Qt::Key_Left)) && keys.count(QKeySequence(Qt::CTRL | Qt::Key_Right)));
    emit keys[QKeySequence(Qt::CTRL | Qt::Key_Left)]->activated();
    emit keys[QKeySequence(Qt::CTRL | Qt::Key_Right)]->activated();
    EXPECT_EQ(mm->log, (std::vector<std::string>{"Seek=40000", "Seek=70000"}));

    ASSERT_EQ(w.mnuSleep->menuAction()->text(), QStringLiteral("S&leep"));
    QStringList texts;
    for (const QAction* a : w.mnuSleep->actions())
        texts << a->text();
    EXPECT_EQ(texts.join(u'|').toStdString(),
              "15 minutes|30 minutes|45 minutes|60 minutes|90 minutes|End of this file|End of this folder|Off");
    const auto item = [&](const char* name) { return w.mnuSleep->findChild<QAction*>(QString::fromLatin1(name)); };
    EXPECT_TRUE(item("mnuSleepOff")->isChecked());
    item("mnuSleepFolder")->trigger();
    EXPECT_EQ(w.player().sleep().choice(), SleepTimer::Choice::EndOfFolder);
    EXPECT_TRUE(item("mnuSleepFolder")->isChecked());
    EXPECT_TRUE(w.accessibleDescription().endsWith(QStringLiteral("Sleep at the end of this folder")))
        << w.accessibleDescription().toStdString();
    w.cmdStop->click();
    EXPECT_TRUE(item("mnuSleepOff")->isChecked()) << "Stop ends the sleep";
    EXPECT_FALSE(w.accessibleDescription().contains(QStringLiteral("Sleep")));
}

TEST_F(MainWindowTest, CloseSendsCloseThenStoresEverythingOnce)
{
    storeSettings("1", "0", "1", "/old");
    frmOrvane& w = open();
    int unloads = 0;
    QObject::connect(&w, &frmOrvane::unloaded, [&] { ++unloads; });
    w.controls().setText1("/new/path, typed");
    w.controls().setCkSub(1);

    w.close();

    EXPECT_EQ(mm->commands(), std::vector<std::string>{"Close"});
    EXPECT_EQ(mm->playPathAtClose, std::vector<std::string>{"/old"}) << "Close comes first";
    EXPECT_EQ(sandbox.value("PlayPath"), "/new/path, typed");
    EXPECT_EQ(sandbox.value("Sub"), "1");
    EXPECT_EQ(sandbox.value("Repeat"), "1");
    EXPECT_EQ(sandbox.value("PlayOrder"), "1");
    EXPECT_EQ(unloads, 1);
    EXPECT_TRUE(w.isUnloaded());

    w.close();
    w.mnuExit->trigger();
    EXPECT_EQ(mm->commands().size(), 1u);
    EXPECT_EQ(unloads, 1);
}

TEST_F(MainWindowTest, ClosingDuringTheWalkUnloadsAndStartsNoTimer)
{
    storeSettings("2", "0", "0", "/m");
    frmOrvane& w = open();
    fs->addFile("/m/a.mp3");
    fs->addFile("/m/sub/b.mp3");

    // The close arrives while Play's walk lets the window handle its events;
    // the new start then goes no further on an unloaded window.
    bool walking = false;
    QObject::connect(&w, &frmOrvane::unloaded, [&] { walking = QApplication::overrideCursor() != nullptr; });
    QTimer::singleShot(0, &w, [&w] { w.close(); });
    w.cmdPlay->click();

    EXPECT_TRUE(w.isUnloaded());
    EXPECT_TRUE(walking) << "the close came in during the walk, under its hourglass";
    EXPECT_EQ(sandbox.value("PlayPath"), "/m");
    EXPECT_FALSE(w.controls().enabled(Ctl::Timer1)) << "the new start gave up at the close";
    EXPECT_EQ(w.player().PlayOn, 0);
    // Ticks come only from Timer1, so a stopped timer is the proof that none
    // will come; what the close left queued opens nothing either.
    EXPECT_FALSE(w.Timer1.isActive()) << "an unloaded window runs no ticks";
    QCoreApplication::processEvents();
    EXPECT_TRUE(mm->opened().empty());
}

TEST_F(MainWindowTest, ExitFromThePopupUnloadsTheWindow)
{
    frmOrvane& w = open();
    w.controls().setText1("/via/exit");
    w.mnuExit->trigger();
    EXPECT_TRUE(w.isUnloaded());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(sandbox.value("PlayPath"), "/via/exit");
}

TEST_F(MainWindowTest, TerminationStoresTheTypedPathAsACloseDoes)
{
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        storeSettings("1", "1", "0", "");
        const QString typed = QStringLiteral("/typed before ") + QString::fromLatin1(strsignal(signal));
        frmOrvane& w = open();
        {
            ProgramEnd end(*this);
            w.Text1->setFocus();
            type(w.Text1, typed);
            ASSERT_TRUE(caught(signal));
            raise(signal);
            EXPECT_FALSE(w.isUnloaded()) << "the handler itself only wakes the event loop";
            ASSERT_TRUE(test::waitUntil([&] { return end.ends == 1; }));
        }
        EXPECT_TRUE(w.isUnloaded());
        EXPECT_EQ(mm->commands(), std::vector<std::string>{"Close"});
        EXPECT_EQ(sandbox.value("PlayPath"), typed.toStdString());
        EXPECT_EQ(sandbox.value("PlayOrder"), "1");
        EXPECT_EQ(sandbox.value("Sub"), "1");
        window.reset();
        EXPECT_EQ(open().Text1->text(), typed) << "started again, the path is there";
        window->close();
        window.reset();
    }
}

TEST_F(MainWindowTest, TerminationDuringTheWalkUnloadsFromItsYield)
{
    storeSettings("2", "0", "0", "/m");
    frmOrvane& w = open();
    fs->addFile("/m/a.mp3");
    fs->addFile("/m/sub/b.mp3");
    ProgramEnd end(*this);
    bool walking = false;
    QObject::connect(&w, &frmOrvane::unloaded, [&] { walking = QApplication::overrideCursor() != nullptr; });

    raise(SIGTERM); // waits in the socket until the walk lets events through
    w.cmdPlay->click();

    EXPECT_TRUE(w.isUnloaded());
    EXPECT_TRUE(walking) << "the request came in during the walk, under its hourglass";
    EXPECT_EQ(sandbox.value("PlayPath"), "/m");
    EXPECT_FALSE(w.Timer1.isActive()) << "an unloaded window runs no ticks";
    ASSERT_TRUE(test::waitUntil([&] { return end.ends == 1; }));
    EXPECT_TRUE(mm->opened().empty());
}

TEST_F(MainWindowTest, FurtherRequestsWhileTheFirstIsHandledChangeNothing)
{
    frmOrvane& w = open();
    int handled = 0;
    AppLifetime lifetime([] {});
    SessionEnd sessionEnd([&] {
        ++handled;
        raise(SIGINT);
        QCoreApplication::processEvents(); // as a yield would
        SessionEnd::closeProgram(window.get());
        raise(SIGTERM);
    });
    w.controls().setText1("/first");
    raise(SIGTERM);
    raise(SIGHUP);
    ASSERT_TRUE(test::waitUntil([&] { return w.isUnloaded(); }));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(mm->commands(), std::vector<std::string>{"Close"});
    EXPECT_EQ(sandbox.value("PlayPath"), "/first");
}

TEST_F(MainWindowTest, TerminationEndsTheProgramFromTheTrayAndFromAMessageBox)
{
    {
        SCOPED_TRACE("hidden in the tray, with another window open");
        frmOrvane& w = open();
        ProgramEnd end(*this);
        w.controls().setText1("/from/tray");
        w.hide();
        QWidget about;
        about.show();
        raise(SIGTERM);
        ASSERT_TRUE(test::waitUntil([&] { return end.ends == 1; }));
        EXPECT_FALSE(about.isVisible()) << "the other windows close too";
        EXPECT_EQ(sandbox.value("PlayPath"), "/from/tray");
    }
    window.reset();
    {
        SCOPED_TRACE("while Play's path error is up");
        storeSettings("2", "0", "0", "/nowhere");
        frmOrvane& w = open();
        ProgramEnd end(*this);
        raise(SIGTERM);
        w.cmdPlay->click(); // returns once the box is closed
        EXPECT_TRUE(w.isUnloaded());
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        ASSERT_TRUE(test::waitUntil([&] { return end.ends == 1; }));
        EXPECT_EQ(sandbox.value("PlayPath"), "/nowhere");
    }
}

TEST_F(MainWindowTest, LayoutFollowsTheTwipsAtTheScreenDpi)
{
    frmOrvane& w = open();
    const double dpiX = w.logicalDpiX();
    const double dpiY = w.logicalDpiY();
    auto rect = [&](int l, int t, int wd, int h) {
        return QRect(qRound(l * dpiX / 1440), qRound(t * dpiY / 1440), qRound(wd * dpiX / 1440),
                     qRound(h * dpiY / 1440));
    };
    const QSize client(qRound(7455 * dpiX / 1440), qRound(1305 * dpiY / 1440));
    EXPECT_EQ(w.size(), client);
    EXPECT_EQ(w.minimumSize(), client);
    EXPECT_EQ(w.maximumSize(), client);
    EXPECT_EQ(w.Text1->geometry(), rect(120, 240, 6375, 285));
    EXPECT_EQ(w.cmdPath->geometry(), rect(6600, 120, 735, 375));
    // The options sit in their group; their place counts on the window.
    EXPECT_EQ(QRect(w.optName->mapTo(&w, QPoint(0, 0)), w.optName->size()), rect(960, 960, 735, 375));
    EXPECT_EQ(w.ckSub->geometry(), rect(1920, 960, 1335, 375));
    EXPECT_EQ(w.cmdPlay->geometry(), rect(6360, 720, 975, 495));
    EXPECT_EQ(w.Line2->geometry().center().x(), qRound(3360 * dpiX / 1440));

    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(w.windowIcon().isNull());
    // Every caption fits the part of its box the style leaves for text, in
    // the font the window ended up with.
    auto fits = [](QAbstractButton* c, QStyle::SubElement contents) {
        QStyleOptionButton opt;
        opt.initFrom(c);
        opt.text = c->text();
        const QRect room = c->style()->subElementRect(contents, &opt, c) & c->rect();
        // The advance counts the blank after the last letter, which may fall
        // outside; a wider font may not (DejaVu Sans needs 10 px more for
        // "Subdirectories").
        const int needed = c->fontMetrics().horizontalAdvance(c->text());
        EXPECT_LE(needed, room.width() + 2) << c->text().toStdString();
    };
    fits(w.optDate, QStyle::SE_RadioButtonContents);
    fits(w.optName, QStyle::SE_RadioButtonContents);
    fits(w.ckRepeat, QStyle::SE_CheckBoxContents);
    fits(w.ckSub, QStyle::SE_CheckBoxContents);
    for (QPushButton* c : {w.cmdStop, w.cmdPause, w.cmdPath}) {
        EXPECT_LE(c->fontMetrics().horizontalAdvance(c->text())
                      + 2 * c->style()->pixelMetric(QStyle::PM_ButtonMargin), c->width());
    }
    EXPECT_LE(w.Label1->fontMetrics().horizontalAdvance(w.Label1->text()), w.Label1->width());
}

TEST_F(MainWindowTest, TabOrderFollowsTheLayout)
{
    frmOrvane& w = open();
    std::vector<QWidget*> order;
    QWidget* at = w.Text1;
    do {
        if (at->focusPolicy() & Qt::TabFocus)
            order.push_back(at);
        at = at->nextInFocusChain();
    } while (at != w.Text1 && order.size() < 20);
    const std::vector<QWidget*> expected = {w.Text1, w.cmdPath, w.optDate, w.optName, w.ckRepeat,
                                            w.ckSub, w.cmdStop, w.cmdSkip, w.cmdPause, w.cmdPlay};
    EXPECT_EQ(order, expected);
}

// A screen reader's press is a click; the option stays a radio button that
// says whether it is chosen.
TEST_F(MainWindowTest, ScreenReadersChooseThePlayOrderAsAClickDoes)
{
    storeSettings("1", "0", "0", "/music");
    frmOrvane& w = open();
    QAccessibleInterface* name = QAccessible::queryAccessibleInterface(w.optName);
    EXPECT_FALSE(name->state().checked);
    ASSERT_TRUE(name->actionInterface());
    name->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(w.optName->isChecked());
    EXPECT_FALSE(w.optDate->isChecked());
    EXPECT_TRUE(name->state().checked);
    EXPECT_TRUE(name->state().checkable);
    EXPECT_EQ(sandbox.value("PlayOrder"), "2");
}

TEST_F(MainWindowTest, PopupMenuCarriesTheTrayItems)
{
    frmOrvane& w = open();
    QStringList texts;
    for (const QAction* a : w.RCPopup->actions())
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(texts.join(u' ').toStdString(),
              "&Play P&ause S&kip S&top - Shuffle &Folders &Even Loudness - S&leep - &Settings - &About - E&xit");
}

TEST_F(MainWindowTest, EvenLoudnessIsACheckItemOffForTodaysSettings)
{
    storeSettings("2", "0", "0", "/music");
    frmOrvane& w = open();
    EXPECT_TRUE(w.mnuEvenLoudness->isCheckable());
    EXPECT_TRUE(w.mnuEvenLoudness->isEnabled());
    EXPECT_FALSE(w.mnuEvenLoudness->isChecked());
    w.mnuEvenLoudness->trigger();
    EXPECT_TRUE(w.mnuEvenLoudness->isChecked());
    EXPECT_TRUE(w.mmControl().levelling()->on());
    EXPECT_EQ(sandbox.value("EvenLoudness"), "1");
}

TEST_F(MainWindowTest, ShuffleFoldersIsACheckItemThatFollowsSubdirectories)
{
    storeSettings("2", "0", "0", "/music");
    frmOrvane& w = open();
    EXPECT_TRUE(w.mnuShuffle->isCheckable());
    EXPECT_FALSE(w.mnuShuffle->isEnabled());
    EXPECT_FALSE(w.mnuShuffle->isChecked());
    w.ckSub->click();
    ASSERT_TRUE(w.mnuShuffle->isEnabled());
    w.mnuShuffle->trigger();
    EXPECT_TRUE(w.mnuShuffle->isChecked());
    EXPECT_TRUE(w.controls().shuffle());
    EXPECT_EQ(sandbox.value("ShuffleFolders"), "1");
    w.mnuShuffle->trigger();
    EXPECT_FALSE(w.controls().shuffle());
    EXPECT_EQ(sandbox.value("ShuffleFolders"), "0");
}

// The window's own context menu is the tray's menu, by the mouse and by the
// keyboard; the play path box keeps its menu of editing commands.
TEST_F(MainWindowTest, TheWindowsContextMenuIsTheTrayMenu)
{
    frmOrvane& w = open();
    EXPECT_EQ(w.RCPopup->accessibleName().toStdString(), "MP3 Orvane");
    const auto opens = [&w](QWidget* at, auto deliver) {
        w.RCPopup->hide();
        deliver(at);
        const bool shown = w.RCPopup->isVisible();
        w.RCPopup->hide();
        return shown;
    };
    const auto rightClick = [](QWidget* at) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), at->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(at, &event);
    };
    const auto key = [](Qt::Key k, Qt::KeyboardModifiers mods) {
        return [k, mods](QWidget* at) {
            at->setFocus();
            QKeyEvent event(QEvent::KeyPress, k, mods);
            QApplication::sendEvent(at, &event);
        };
    };
    for (QWidget* at : std::initializer_list<QWidget*>{&w, w.cmdPlay, w.ckSub, w.optName, w.Label1}) {
        SCOPED_TRACE(at->objectName().toStdString());
        EXPECT_TRUE(opens(at, rightClick));
    }
    EXPECT_TRUE(opens(w.cmdStop, key(Qt::Key_Menu, Qt::NoModifier)));
    EXPECT_TRUE(opens(w.ckRepeat, key(Qt::Key_F10, Qt::ShiftModifier)));
    EXPECT_FALSE(opens(w.ckRepeat, key(Qt::Key_F10, Qt::NoModifier)));
    EXPECT_FALSE(opens(w.Text1, rightClick));
    EXPECT_FALSE(opens(w.Text1, key(Qt::Key_Menu, Qt::NoModifier)));
    for (QWidget* popup : QApplication::topLevelWidgets()) {
        if (popup->isVisible() && popup != &w)
            popup->close(); // the box's own menu
    }
}

} // namespace
} // namespace orvane
