#include "qt/mpris.h"

#include "qt/frm_orvane.h"
#include "desktop/fake_tray_platform.h"
#include "qt/frm_about.h"
#include "qt/sys_tray_handlers.h"
#include "support/fakes.h"
#include "qt/qt_app_support.h"

#include <QCoreApplication>
#include <QDBusObjectPath>
#include <QTimer>
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvane {
namespace {

// The fake control, telling what it hears as the libmpv control does: a new
// file from each "Play" to its "Close", its tags once it has been read.
class HeardControl : public test::FakeMMControl {
public:
    void setFileName(const std::string& path) override
    {
        FakeMMControl::setFileName(path);
        name_ = path;
    }
    void setCommand(const std::string& command) override
    {
        FakeMMControl::setCommand(command);
        if (command == "Play") {
            NowPlaying now;
            now.serial = ++serial_;
            now.path = name_;
            hear(now);
        }
        if (command == "Close" && !now_.path.empty())
            hear({});
    }
    NowPlaying nowPlaying() const override { return now_; }

    void readTags(const std::string& title, const std::string& artist, const std::string& album,
                  std::int64_t lengthUs)
    {
        NowPlaying now = now_;
        now.title = title;
        now.artist = artist;
        now.album = album;
        now.lengthUs = lengthUs;
        hear(now);
    }

private:
    void hear(NowPlaying now)
    {
        now_ = std::move(now);
        raiseNowPlayingChanged();
    }
    std::string name_;
    std::uint64_t serial_ = 0;
    NowPlaying now_;
};

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class MprisTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sandbox.setValue("Version", "3.0.0");
        sandbox.setValue("PlayOrder", "2");
        sandbox.setValue("PlayPath", "/music");
        auto control = std::make_unique<HeardControl>();
        mm = control.get();
        auto files = std::make_unique<test::FakeFileSystem>();
        files->addFile("/music/a.mp3");
        files->addFile("/music/b.mp3");
        window = std::make_unique<frmOrvane>(std::move(control), std::move(files), sandbox.settings());
        // The ticks are run by hand.
        window->Timer1.setInterval(24 * 3600 * 1000);
        ownPlatform = modSysTray::module().platform();
        modSysTray::module().setPlatform(&tray);
        window->show();
        Player& p = window->player();
        p.trayRefresh = [this, refresh = p.trayRefresh](const std::string& image) {
            refreshes.push_back(image);
            refresh(image);
        };
        mpris = std::make_unique<MprisPlayer>(*window);
        QObject::connect(mpris.get(), &MprisPlayer::propertiesChanged,
                         [this](const QVariantMap& changed) { reports.push_back(changed); });
    }

    void TearDown() override
    {
        mpris.reset();
        modSysTray::module().UnhookSysTrayWindow();
        modSysTray::module().setPlatform(ownPlatform);
        window.reset();
        delete frmAbout::instance();
        settle();
    }

    Player& player() { return window->player(); }

    void tick()
    {
        player().Timer1_Timer();
        settle();
    }

    // Stopped, Playing (the first file heard) or Paused, reached through the
    // window's own buttons.
    void reach(const std::string& state)
    {
        if (state == "Stopped")
            return;
        window->cmdPlay->click();
        tick();
        if (state == "Paused")
            window->cmdPause->click();
        settle();
    }

    std::string status() const { return mpris->playbackStatus().toStdString(); }
    // CanPlay, CanPause, CanGoNext.
    std::array<bool, 3> cans() const { return {mpris->canPlay(), mpris->canPause(), mpris->canGoNext()}; }
    QVariant meta(const char* key) const { return mpris->metadata().value(QString::fromLatin1(key)); }
    // What the window tells a screen reader about the file heard.
    std::string described() const { return window->accessibleDescription().toStdString(); }

    void minimise()
    {
        window->setWindowState(window->windowState() | Qt::WindowMinimized);
        settle();
    }

    test::SettingsSandbox sandbox;
    test::FakeTrayPlatform tray;
    SysTrayPlatform* ownPlatform = nullptr;
    HeardControl* mm = nullptr;
    std::unique_ptr<frmOrvane> window;
    std::unique_ptr<MprisPlayer> mpris;
    std::vector<std::string> refreshes;
    std::vector<QVariantMap> reports;
};

// Each command in each state: it runs its tray menu twin (with the twin's tray
// refresh) exactly when that item is enabled, and does nothing otherwise. The
// Can properties say what can be asked for at all: playback can be started and
// paused all through a sequence, even where Play or Pause is greyed out (and
// then does nothing); Next changes the file only where Skip is enabled.
TEST_F(MprisTest, CommandsRunTheirTrayItemOnlyWhileItIsEnabled)
{
    const std::map<std::string, std::array<bool, 3>> cansIn = {
        {"Stopped", {true, false, false}},
        {"Playing", {true, true, true}},
        {"Paused", {true, true, false}},
    };
    struct Case {
        const char* state;
        const char* command;
        std::vector<std::string> controlGets; // commands the media control receives
        const char* refresh;                  // the tray refresh run, "" for none
        const char* after;
    } const cases[] = {
        {"Stopped", "Play", {"Close", "Open", "Play"}, "Volume02.ico", "Playing"},
        {"Stopped", "Pause", {}, "", "Stopped"},
        {"Stopped", "PlayPause", {"Close", "Open", "Play"}, "Volume02.ico", "Playing"},
        {"Stopped", "Next", {}, "", "Stopped"},
        {"Stopped", "Stop", {"Close"}, "Volume02.ico", "Stopped"}, // Stop is never disabled
        {"Playing", "Play", {}, "", "Playing"},
        {"Playing", "Pause", {"pause"}, "Volume03.ico", "Paused"},
        {"Playing", "PlayPause", {"pause"}, "Volume03.ico", "Paused"},
        {"Playing", "Next", {"Close", "Open", "Play"}, "", "Playing"},
        {"Playing", "Stop", {"Close"}, "Volume02.ico", "Stopped"},
        {"Paused", "Play", {"pause"}, "Volume02.ico", "Playing"},
        {"Paused", "Pause", {}, "", "Paused"},
        {"Paused", "PlayPause", {"pause"}, "Volume02.ico", "Playing"},
        {"Paused", "Next", {}, "", "Paused"},
        {"Paused", "Stop", {"Close"}, "Volume02.ico", "Stopped"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.state) + " " + c.command);
        TearDown();
        SetUp();
        reach(c.state);
        ASSERT_EQ(status(), c.state);
        EXPECT_EQ(cans(), cansIn.at(c.state));
        EXPECT_EQ(mpris->canGoNext(), window->mnuSkip->isEnabled());
        mm->clear();
        refreshes.clear();

        const std::string command = c.command;
        if (command == "Play")
            mpris->Play();
        else if (command == "Pause")
            mpris->Pause();
        else if (command == "PlayPause")
            mpris->PlayPause();
        else if (command == "Next")
            mpris->Next();
        else
            mpris->Stop();
        tick();

        EXPECT_EQ(mm->commands(), c.controlGets);
        EXPECT_EQ(refreshes, std::string(c.refresh).empty() ? std::vector<std::string>{}
                                                            : std::vector<std::string>{c.refresh});
        EXPECT_EQ(status(), c.after);
        EXPECT_EQ(cans(), cansIn.at(c.after));
    }
}

// The walk of a new start lets events through before anything plays and
// before Pause is offered: a client asking then learns there is nothing to
// pause yet.
TEST_F(MprisTest, NothingCanBePausedWhileANewStartWalksTheTree)
{
    std::optional<std::array<bool, 3>> duringWalk;
    QTimer::singleShot(0, mpris.get(), [&] {
        EXPECT_EQ(status(), "Playing");
        duringWalk = cans();
    });
    mpris->Play();
    ASSERT_TRUE(duringWalk.has_value()) << "the walk lets events through";
    EXPECT_EQ(*duringWalk, (std::array{true, false, false}));
    EXPECT_EQ(cans(), (std::array{true, true, true}));
}

// The window's accessible description tells the same file, and whether it is
// paused, for a screen reader.
TEST_F(MprisTest, MetadataAndTheWindowDescribeTheFileHeard)
{
    EXPECT_TRUE(mpris->metadata().isEmpty());
    EXPECT_EQ(described(), "");
    mpris->Play(); // its first tick comes at once, inside Play
    EXPECT_EQ(meta("xesam:url").toString(), QStringLiteral("file:///music/a.mp3"));
    tick(); // while the file plays: nothing changes
    const QVariant firstTrack = meta("mpris:trackid");
    EXPECT_TRUE(firstTrack.canConvert<QDBusObjectPath>());
    EXPECT_EQ(meta("xesam:url").toString(), QStringLiteral("file:///music/a.mp3"));
    EXPECT_EQ(meta("xesam:title").toString(), QStringLiteral("a.mp3")) << "untagged: the file name";
    EXPECT_EQ(described(), "Playing: a.mp3");
    EXPECT_FALSE(mpris->metadata().contains(QStringLiteral("xesam:artist")));
    EXPECT_FALSE(mpris->metadata().contains(QStringLiteral("xesam:album")));
    EXPECT_FALSE(mpris->metadata().contains(QStringLiteral("mpris:length")));

    mm->readTags("Morning", "The Band", "First", 2500000);
    EXPECT_EQ(meta("xesam:title").toString(), QStringLiteral("Morning"));
    EXPECT_EQ(described(), "Playing: Morning");
    EXPECT_EQ(meta("xesam:artist").toStringList(), QStringList{QStringLiteral("The Band")});
    EXPECT_EQ(meta("xesam:album").toString(), QStringLiteral("First"));
    EXPECT_EQ(meta("mpris:length").toLongLong(), 2500000);

    mpris->Next();
    EXPECT_EQ(meta("xesam:url").toString(), QStringLiteral("file:///music/a.mp3"))
        << "between two files the one just heard stays";
    EXPECT_EQ(described(), "Playing: Morning");
    tick();
    EXPECT_EQ(meta("xesam:url").toString(), QStringLiteral("file:///music/b.mp3"));
    EXPECT_EQ(meta("xesam:title").toString(), QStringLiteral("b.mp3"));
    EXPECT_EQ(described(), "Playing: b.mp3");
    EXPECT_NE(meta("mpris:trackid").value<QDBusObjectPath>().path(),
              firstTrack.value<QDBusObjectPath>().path());

    mpris->Pause();
    EXPECT_EQ(meta("xesam:url").toString(), QStringLiteral("file:///music/b.mp3")) << "paused: still heard";
    EXPECT_EQ(described(), "Paused: b.mp3");

    mpris->Stop();
    EXPECT_TRUE(mpris->metadata().isEmpty());
    EXPECT_EQ(described(), "");
    EXPECT_EQ(described(), "");
    mpris->Play();
    EXPECT_EQ(meta("xesam:url").toString(), QStringLiteral("file:///music/a.mp3"))
        << "a new start shows its own first file, never the last sequence's";
}

TEST(MprisFileUrl, EveryByteComesBack)
{
    struct Case {
        std::string path;
        const char* url;
    } const cases[] = {
        {"/music/a.mp3", "file:///music/a.mp3"},
        {"/music/two words.mp3", "file:///music/two%20words.mp3"},
        {"/music/\xe9t\xe9.mp3", "file:///music/%E9t%E9.mp3"},        // Latin-1, not UTF-8
        {"/music/\xc3\xa9t\xc3\xa9.mp3", "file:///music/%C3%A9t%C3%A9.mp3"}, // UTF-8
        {"/m/100%#?;=&+.mp3", "file:///m/100%25%23%3F%3B%3D%26%2B.mp3"},
        {"/m/\x01\x7f\xff", "file:///m/%01%7F%FF"},
    };
    for (const Case& c : cases) {
        const QString url = fileUrl(c.path);
        EXPECT_EQ(url.toStdString(), c.url);
        const QByteArray back = QByteArray::fromPercentEncoding(url.mid(7).toLatin1());
        EXPECT_EQ(back.toStdString(), c.path);
    }
}

// A burst of changes from one command is one report holding only what
// changed; a command that does nothing reports nothing.
TEST_F(MprisTest, ChangesAreReportedOncePerCommand)
{
    mpris->Pause(); // disabled while stopped
    mpris->Next();
    settle();
    EXPECT_TRUE(reports.empty());

    mpris->Play();
    settle(); // the first tick comes at once and opens the first file
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0], (QVariantMap{{QStringLiteral("PlaybackStatus"), QStringLiteral("Playing")},
                                       {QStringLiteral("CanPause"), true},
                                       {QStringLiteral("CanGoNext"), true}}));
    tick(); // while the file plays: nothing new to say
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].keys(), QStringList{QStringLiteral("Metadata")});
    EXPECT_EQ(reports[1].value(QStringLiteral("Metadata")).toMap(), mpris->metadata());

    mm->readTags("Morning", "", "", 1000);
    settle();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[2].value(QStringLiteral("Metadata")).toMap().value(QStringLiteral("xesam:title")),
              QStringLiteral("Morning"));

    // CanPause holds through a pause; only Skip comes and goes.
    mpris->Pause();
    settle();
    mpris->Play();
    settle();
    ASSERT_EQ(reports.size(), 5u);
    EXPECT_EQ(reports[3], (QVariantMap{{QStringLiteral("PlaybackStatus"), QStringLiteral("Paused")},
                                       {QStringLiteral("CanGoNext"), false}}));
    EXPECT_EQ(reports[4], (QVariantMap{{QStringLiteral("PlaybackStatus"), QStringLiteral("Playing")},
                                       {QStringLiteral("CanGoNext"), true}}));

    mpris->Stop();
    settle();
    ASSERT_EQ(reports.size(), 6u);
    EXPECT_EQ(reports[5], (QVariantMap{{QStringLiteral("PlaybackStatus"), QStringLiteral("Stopped")},
                                       {QStringLiteral("CanPause"), false},
                                       {QStringLiteral("CanGoNext"), false},
                                       {QStringLiteral("Metadata"), QVariantMap()}}));
    mpris->Stop(); // again: nothing new to say
    settle();
    EXPECT_EQ(reports.size(), 6u);
}

// Shuffle is Shuffle Folders and LoopStatus is Repeat All, each set only
// where the window would take it; a set refused ("Track", Shuffle without
// Subdirectories, Repeat All while playing) changes nothing and is answered
// with the value that stands.
TEST_F(MprisTest, ShuffleAndLoopStatusAreTheWindowsChoices)
{
    const QString shuffle = QStringLiteral("Shuffle");
    const QString loop = QStringLiteral("LoopStatus");
    EXPECT_FALSE(mpris->shuffle());
    EXPECT_EQ(mpris->loopStatus(), QStringLiteral("None"));

    mpris->setShuffle(true); // Subdirectories is off
    settle();
    EXPECT_FALSE(mpris->shuffle());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports.back(), (QVariantMap{{shuffle, false}}));

    window->ckSub->click();
    mpris->setShuffle(true);
    mpris->setLoopStatus(QStringLiteral("Playlist"));
    settle();
    EXPECT_TRUE(mpris->shuffle());
    EXPECT_TRUE(window->controls().shuffle() && window->ckRepeat->isChecked());
    EXPECT_EQ(sandbox.value("ShuffleFolders"), "1");
    EXPECT_EQ(sandbox.value("Repeat"), "1");
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports.back(), (QVariantMap{{shuffle, true}, {loop, QStringLiteral("Playlist")}}));

    for (const char* refused : {"Track", "Loop", ""}) {
        mpris->setLoopStatus(QString::fromLatin1(refused));
        settle();
        EXPECT_EQ(mpris->loopStatus(), QStringLiteral("Playlist")) << refused;
        EXPECT_EQ(reports.back(), (QVariantMap{{loop, QStringLiteral("Playlist")}})) << refused;
    }
    EXPECT_EQ(sandbox.value("Repeat"), "1");

    reach("Playing");
    mpris->setLoopStatus(QStringLiteral("None")); // Repeat All waits for the sequence to end
    mpris->setShuffle(false);                     // for the next round
    settle();
    EXPECT_EQ(mpris->loopStatus(), QStringLiteral("Playlist"));
    EXPECT_FALSE(mpris->shuffle());
    EXPECT_EQ(sandbox.value("ShuffleFolders"), "0");
    mpris->Stop();
    settle();
    mpris->setLoopStatus(QStringLiteral("None"));
    settle();
    EXPECT_EQ(mpris->loopStatus(), QStringLiteral("None"));
    EXPECT_FALSE(window->ckRepeat->isChecked());
}

TEST_F(MprisTest, PauseInTheTrayRefreshesTheIconAndRaiseBringsTheWindowBack)
{
    reach("Playing");
    minimise();
    ASSERT_TRUE(SysTrayHandlers::of(window.get())->inTray());
    ASSERT_EQ(tray.ops(), std::vector<std::string>{"add"});

    mpris->Pause();
    settle();
    EXPECT_EQ(tray.ops(), (std::vector<std::string>{"add", "delete", "add"}));
    EXPECT_FALSE(window->isVisible());

    mpris->Raise();
    settle();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
    EXPECT_EQ(tray.ops().back(), "delete");
    EXPECT_EQ(modSysTray::module().SysTrayHooked, 0);
}

// On screen there is no tray icon: the commands act, and the window stays.
TEST_F(MprisTest, CommandsWhileTheWindowIsOnScreenLeaveItThere)
{
    mpris->Play();
    tick();
    mpris->Pause();
    mpris->Play();
    mpris->Stop();
    settle();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(tray.ops().empty());
    EXPECT_EQ(modSysTray::module().SysTrayHooked, 0);
    EXPECT_EQ(mm->commands(), (std::vector<std::string>{"Close", "Open", "Play", "pause", "pause", "Close"}));
}

TEST_F(MprisTest, AnUnloadedWindowTakesNoCommands)
{
    window->close();
    mm->clear();
    mpris->Play();
    mpris->PlayPause();
    mpris->Stop();
    mpris->Raise();
    settle();
    EXPECT_TRUE(mm->log.empty());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MprisTest, WithoutASessionBusThereIsNoServiceAndNoNoise)
{
    const QDBusConnection none
        = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/orvane-bus"), QStringLiteral("none"));
    EXPECT_EQ(MprisService::start(*window, none), nullptr);
    QDBusConnection::disconnectFromBus(QStringLiteral("none"));
    mpris->Play();
    tick();
    EXPECT_EQ(status(), "Playing") << "the player plays on as before";
}

} // namespace
} // namespace orvane
