#include "qt/frm_orvane.h"
#include "desktop/fake_tray_platform.h"
#include "qt/frm_about.h"
#include "qt/sys_tray_handlers.h"
#include "qt/tray_images.h"

#include "support/fakes.h"
#include "qt/qt_app_support.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <memory>

namespace orvane {
namespace {

QImage image16(const QIcon& icon)
{
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The main window as the program builds it, with the process-wide tray
// module talking to a recording notification area.
class MainWindowTrayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto control = std::make_unique<test::FakeMMControl>();
        mm = control.get();
        auto files = std::make_unique<test::FakeFileSystem>();
        files->addFile("/music/a.mp3");
        files->addFile("/music/b.mp3");
        window = std::make_unique<frmOrvane>(std::move(control), std::move(files), sandbox.settings());
        ownPlatform = module().platform();
        module().setPlatform(&tray);
        window->show();
    }

    void TearDown() override
    {
        module().UnhookSysTrayWindow();
        module().setPlatform(ownPlatform);
        window.reset();
        delete frmAbout::instance();
        settle();
    }

    static SysTrayModule& module() { return modSysTray::module(); }
    WindowHandle handle() const { return SysTrayHandlers::of(window.get())->windowHandle(); }

    void play()
    {
        window->controls().setText1("/music");
        window->cmdPlay->click();
    }
    void minimise()
    {
        window->setWindowState(window->windowState() | Qt::WindowMinimized);
        settle();
    }
    bool windowShows(const char* image) const
    {
        return image16(window->windowIcon()) == image16(TrayPictures::builtIn(image));
    }

    test::SettingsSandbox sandbox;
    test::FakeTrayPlatform tray;
    SysTrayPlatform* ownPlatform = nullptr;
    test::FakeMMControl* mm = nullptr;
    std::unique_ptr<frmOrvane> window;
};

TEST_F(MainWindowTrayTest, TrayMenuCommandsRefreshTheIconAndSkipDoesNot)
{
    play();
    minimise();
    ASSERT_EQ(tray.ops(), std::vector<std::string>{"add"});
    EXPECT_TRUE(windowShows(TrayImagePlaying));
    EXPECT_FALSE(window->isVisible());

    window->mnuPause->trigger();
    EXPECT_TRUE(window->player().Paused);
    ASSERT_EQ(tray.ops(), (std::vector<std::string>{"add", "delete", "add"}));
    EXPECT_EQ(tray.calls[1].data, tray.calls[0].data);
    EXPECT_TRUE(windowShows(TrayImagePaused));

    window->mnuPlay->trigger(); // resume
    EXPECT_FALSE(window->player().Paused);
    ASSERT_EQ(tray.calls.size(), 5u);
    EXPECT_TRUE(windowShows(TrayImagePlaying));

    window->mnuSkip->trigger();
    EXPECT_EQ(tray.calls.size(), 5u);

    window->mnuStop->trigger();
    ASSERT_EQ(tray.calls.size(), 7u);
    EXPECT_EQ(tray.calls[5].op, "delete");
    EXPECT_EQ(tray.calls[5].data, tray.calls[4].data);
    EXPECT_TRUE(windowShows(TrayImagePlaying));
    settle();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(module().SysTrayHooked, -1);
}

TEST_F(MainWindowTrayTest, RightPressOnTheIconShowsThePopupMenu)
{
    minimise();
    EXPECT_EQ(tray.trayMouse(handle(), WM_RBUTTONDOWN), -1);
    EXPECT_TRUE(window->RCPopup->isVisible());
    window->RCPopup->hide();
}

TEST_F(MainWindowTrayTest, SettingsRestoresAndExitRemovesTheIconThenUnloads)
{
    minimise();
    window->mnuSettings->trigger();
    settle();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
    EXPECT_EQ(tray.ops(), (std::vector<std::string>{"add", "delete"}));

    minimise();
    window->mnuExit->trigger();
    ASSERT_EQ(tray.ops(), (std::vector<std::string>{"add", "delete", "add", "delete"}));
    EXPECT_EQ(tray.calls[3].data, tray.calls[2].data);
    EXPECT_TRUE(window->isUnloaded());
    EXPECT_EQ(mm->commands().back(), "Close");
    EXPECT_EQ(sandbox.value("PlayOrder"), "2"); // stored at the unload
}

TEST_F(MainWindowTrayTest, AboutComesUpWhileTheWindowStaysInTheTray)
{
    minimise();
    window->mnuAbout->trigger();
    settle();
    ASSERT_NE(frmAbout::instance(), nullptr);
    EXPECT_TRUE(frmAbout::instance()->isVisible());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(tray.ops(), std::vector<std::string>{"add"});
}

} // namespace
} // namespace orvane
