#include "qt/qt_ui_host.h"

#include "qt/mod_browse.h"
#include "qt/qt_app_support.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(QtUiHost, YieldRunsPendingEvents)
{
    QWidget owner;
    QtUiHost ui(&owner);
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    ui.yield();
    EXPECT_TRUE(ran);
}

// A requested tick runs later, from the event loop: once for any number of
// requests made before it, and never after the host is gone.
TEST(QtUiHost, RequestedTickRunsOnceFromTheEventLoop)
{
    int ticks = 0;
    {
        QtUiHost ui(nullptr);
        ui.setTickHandler([&] { ++ticks; });
        ui.requestTick();
        ui.requestTick();
        EXPECT_EQ(ticks, 0);
        ui.yield();
        EXPECT_EQ(ticks, 1);
        ui.yield();
        EXPECT_EQ(ticks, 1);
        ui.requestTick();
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks, 1);
}

// Calls posted from another thread run on the window thread, in order, and
// those still waiting when the host goes are dropped.
TEST(QtUiHost, PostedCallsRunOnTheWindowThreadInOrder)
{
    std::vector<int> ran;
    bool onWindowThread = true;
    {
        QtUiHost ui(nullptr);
        std::thread worker([&] {
            for (int i = 0; i < 3; ++i)
                ui.post([&, i] {
                    ran.push_back(i);
                    onWindowThread = onWindowThread && QThread::currentThread() == qApp->thread();
                });
        });
        worker.join();
        EXPECT_TRUE(ran.empty());
        ui.yield();
        EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));
        EXPECT_TRUE(onWindowThread);
        ui.post([&] { ran.push_back(3); });
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(ran.size(), 3u);
}

TEST(QtUiHost, MessageBoxIsModalWithOneOkAndTheStyleIcon)
{
    QWidget owner;
    owner.show();
    QtUiHost ui(&owner);
    struct Seen {
        QString text, title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QWidget* parent = nullptr;
        int buttons = 0;
        bool modal = false;
    } seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = {box->text(), box->windowTitle(), box->icon(), box->parentWidget(),
                static_cast<int>(box->buttons().size()), box->isModal()};
        box->button(QMessageBox::Ok)->click();
    });
    ui.messageBox("The Path you have entered is invalid!", UiHost::MsgBoxExclamation, "Path Error");

    EXPECT_EQ(seen.text, QStringLiteral("The Path you have entered is invalid!"));
    EXPECT_EQ(seen.title, QStringLiteral("Path Error"));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.parent, &owner);
    EXPECT_EQ(seen.buttons, 1);
    EXPECT_TRUE(seen.modal);
}

TEST(QtUiHost, HourglassComesAndGoesOnce)
{
    QWidget owner;
    {
        QtUiHost ui(&owner);
        ui.setMousePointer(UiHost::PointerHourglass);
        ui.setMousePointer(UiHost::PointerHourglass);
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        ui.setMousePointer(UiHost::PointerDefault);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr)
            << "one default undoes any number of hourglasses";
        ui.setMousePointer(UiHost::PointerDefault);
        ui.setMousePointer(UiHost::PointerHourglass);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "a host going away leaves no hourglass";
}

TEST(QtUiHost, PathsCrossAsNativeBytes)
{
    const QString text = QStringLiteral("/musik/Grüße/日本");
    const std::string bytes = toNativePath(text);
    EXPECT_EQ(bytes, "/musik/Gr\xC3\xBC\xC3\x9F" "e/\xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(fromNativePath(bytes), text);
}

TEST(BrowseDirectory, ResultAlwaysEndsInOneSeparator)
{
    EXPECT_EQ(modBrowse::browseResult(QString()), "");
    EXPECT_EQ(modBrowse::browseResult(QStringLiteral("/srv/music")), "/srv/music/");
    EXPECT_EQ(modBrowse::browseResult(QStringLiteral("/srv/music/")), "/srv/music/");
    EXPECT_EQ(modBrowse::browseResult(QStringLiteral("/")), "/");
    EXPECT_EQ(modBrowse::browseResult(QStringLiteral("/srv/Ωmega")), "/srv/\xCE\xA9mega/");
}

class BrowseDialogTest : public ::testing::Test {
protected:
    // Runs GetBrowseDirectory and lets answer deal with the dialog it shows.
    std::string browse(std::function<void(QFileDialog&)> answer)
    {
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            title = dialog->windowTitle();
            dirsOnly = dialog->fileMode() == QFileDialog::Directory
                && dialog->testOption(QFileDialog::ShowDirsOnly);
            owner = dialog->parentWidget();
            startFolder = dialog->directory().absolutePath();
            answer(*dialog);
        });
        return modBrowse::GetBrowseDirectory(&window);
    }

    QWidget window;
    QString title;
    bool dirsOnly = false;
    QWidget* owner = nullptr;
    QString startFolder;
};

TEST_F(BrowseDialogTest, CancelGivesEmptyTextAndTheDialogStartsAtHome)
{
    // A home that is not the working folder, so that the two cannot be mixed up.
    QTemporaryDir home;
    const QString homeFolder = QDir(home.path()).canonicalPath();
    ASSERT_NE(QDir::currentPath(), homeFolder);
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));

    EXPECT_EQ(browse([](QFileDialog& d) { d.reject(); }), "");
    qputenv("HOME", oldHome);
    EXPECT_EQ(title, QStringLiteral("Choose a directory from the list."));
    EXPECT_TRUE(dirsOnly);
    EXPECT_EQ(owner, &window);
    EXPECT_EQ(QDir(startFolder).canonicalPath().toStdString(), homeFolder.toStdString());
}

TEST_F(BrowseDialogTest, ChosenFolderComesBackWithTheSeparator)
{
    QTemporaryDir music;
    const std::string chosen = browse([&](QFileDialog& d) {
        d.setDirectory(music.path());
        d.selectFile(music.path());
        static_cast<QDialog&>(d).accept();
    });
    EXPECT_EQ(chosen, toNativePath(music.path()) + "/");
}

} // namespace
} // namespace orvane
