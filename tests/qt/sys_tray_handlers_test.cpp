#include "desktop/fake_tray_platform.h"
#include "qt/frm_about.h"
#include "qt/sys_tray_handlers.h"
#include "qt/tray_images.h"
#include "qt/tray_test_support.h"
#include "player/player.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMenu>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>

namespace orvane {
namespace {

const QColor PlayingColour(200, 0, 0);
const QColor PausedColour(0, 0, 200);

// Stands for the main window: its state changes run Form_Resize.
class TrayWindow : public QWidget {
public:
    SysTrayHandlers* handlers = nullptr;

protected:
    void changeEvent(QEvent* event) override
    {
        QWidget::changeEvent(event);
        if (event->type() == QEvent::WindowStateChange && handlers)
            handlers->Form_Resize();
    }
};

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class SysTrayHandlersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(test::writeIconFile(dir.filePath(TrayImagePlaying), PlayingColour));
        ASSERT_TRUE(test::writeIconFile(dir.filePath(TrayImagePaused), PausedColour));
        pictures = std::make_unique<TrayPictures>(dir.path());
        window = new TrayWindow;
        popup = new QMenu(window);
        popup->addAction(QStringLiteral("&Play"));
        popup->addAction(QStringLiteral("E&xit"));
        handlers = new SysTrayHandlers(window, popup, [this] { return paused; }, module, *pictures);
        window->handlers = handlers;
        window->show();
    }

    void TearDown() override
    {
        delete window;
        delete frmAbout::instance();
    }

    void minimise()
    {
        window->setWindowState(window->windowState() | Qt::WindowMinimized);
        settle();
    }

    QColor windowColour() const { return test::centreColour(window->windowIcon()); }
    WindowHandle handle() const { return handlers->windowHandle(); }

    QTemporaryDir dir;
    test::FakeTrayPlatform tray;
    SysTrayModule module{&tray};
    std::unique_ptr<TrayPictures> pictures;
    bool paused = false;
    TrayWindow* window = nullptr;
    QMenu* popup = nullptr;
    SysTrayHandlers* handlers = nullptr;
};

TEST_F(SysTrayHandlersTest, MinimiseHidesTheWindowBehindAnIconOfThePlayerState)
{
    for (const bool pausedNow : {false, true}) {
        SCOPED_TRACE(pausedNow ? "paused" : "playing or stopped");
        paused = pausedNow;
        tray.calls.clear();
        minimise();

        ASSERT_EQ(tray.ops(), std::vector<std::string>{"add"});
        const NotifyIconData& added = tray.calls[0].data;
        EXPECT_EQ(added.hWnd, handle());
        EXPECT_NE(added.uID, 0u);
        EXPECT_EQ(added.uID, handlers->windowIconHandle()); // the window icon's identity
        EXPECT_EQ(added.hIcon, added.uID);
        EXPECT_EQ(added.szTip, "MP3 Orvane");
        // The tray icon is made from the window's new icon.
        const QColor expected = pausedNow ? PausedColour : PlayingColour;
        EXPECT_EQ(windowColour(), expected);
        EXPECT_EQ(test::centreColour(pictures->icon(added.hIcon)), expected);
        EXPECT_EQ(module.SysTrayHooked, -1);
        EXPECT_FALSE(window->isVisible());
        EXPECT_TRUE(handlers->inTray());

        handlers->mnuSettings_Click();
    }
}

TEST_F(SysTrayHandlersTest, SettingsRestoresTheWindowAndTheNextMinimiseUsesTheStateThen)
{
    minimise();
    handlers->mnuSettings_Click();
    settle();

    EXPECT_EQ(module.SysTrayHooked, 0);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
    EXPECT_FALSE(handlers->inTray());
    ASSERT_EQ(tray.ops(), (std::vector<std::string>{"add", "delete"}));
    EXPECT_EQ(tray.calls[1].data, tray.calls[0].data);
    EXPECT_EQ(windowColour(), PlayingColour); // the window keeps the state image
    // A right press no longer reaches the tray's procedure.
    tray.trayMouse(handle(), WM_RBUTTONDOWN);
    EXPECT_FALSE(popup->isVisible());

    paused = true;
    minimise();
    ASSERT_EQ(tray.ops(), (std::vector<std::string>{"add", "delete", "add"}));
    EXPECT_NE(tray.calls[2].data.uID, tray.calls[0].data.uID);
    EXPECT_EQ(windowColour(), PausedColour);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(SysTrayHandlersTest, RefreshSwapsTheIconForOneOfTheNewState)
{
    minimise();
    const std::uint32_t first = tray.calls[0].data.uID;

    paused = true; // as Pause leaves it
    handlers->trayRefresh(TrayImagePaused);
    settle();
    ASSERT_EQ(tray.ops(), (std::vector<std::string>{"add", "delete", "add"}));
    EXPECT_EQ(tray.calls[1].data.uID, first); // the icon added last goes
    const NotifyIconData second = tray.calls[2].data;
    EXPECT_NE(second.uID, first);
    EXPECT_EQ(second.uID, handlers->windowIconHandle());
    EXPECT_EQ(test::centreColour(pictures->icon(second.hIcon)), PausedColour);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(module.SysTrayHooked, -1);
    EXPECT_EQ(tray.procSwaps, 1); // the hook stayed as it was

    paused = false; // as Play or Stop leaves it
    handlers->trayRefresh(TrayImagePlaying);
    settle();
    ASSERT_EQ(tray.calls.size(), 5u);
    EXPECT_EQ(tray.calls[3].op, "delete");
    EXPECT_EQ(tray.calls[3].data, second);
    EXPECT_EQ(tray.calls[4].op, "add");
    EXPECT_EQ(test::centreColour(pictures->icon(tray.calls[4].data.hIcon)), PlayingColour);
    EXPECT_FALSE(window->isVisible());
    // Only the pictures in use stay loaded.
    EXPECT_EQ(pictures->loadedCount(), 1u);
}

TEST_F(SysTrayHandlersTest, OnlyTheRightPressOnTheIconOpensThePopup)
{
    minimise();
    EXPECT_EQ(tray.trayMouse(handle(), WM_LBUTTONDOWN), 0);
    EXPECT_EQ(tray.trayMouse(handle(), WM_LBUTTONDBLCLK), 0);
    EXPECT_EQ(tray.trayMouse(handle(), WM_RBUTTONUP), 0);
    EXPECT_FALSE(popup->isVisible());

    EXPECT_EQ(tray.trayMouse(handle(), WM_RBUTTONDOWN), -1);
    EXPECT_TRUE(popup->isVisible());
    EXPECT_FALSE(window->isVisible()); // the menu comes up, the window stays away
    popup->hide();
}

TEST_F(SysTrayHandlersTest, ExitRemovesTheIconAddedLast)
{
    minimise();
    handlers->trayRefresh(TrayImagePlaying);
    handlers->mnuExit_Click();
    ASSERT_EQ(tray.ops(), (std::vector<std::string>{"add", "delete", "add", "delete"}));
    EXPECT_EQ(tray.calls[3].data, tray.calls[2].data);
}

TEST_F(SysTrayHandlersTest, AboutFromTheTrayLeavesTheProgramInTheTray)
{
    minimise();
    handlers->mnuAbout_Click();
    settle();
    frmAbout* about = frmAbout::instance();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(handlers->inTray());
    EXPECT_EQ(tray.ops(), std::vector<std::string>{"add"});

    handlers->mnuAbout_Click(); // brought forward, not loaded twice
    EXPECT_EQ(frmAbout::instance(), about);
}

TEST_F(SysTrayHandlersTest, WithoutANotificationAreaTheWindowStaysOnTheTaskbar)
{
    tray.available = false;
    minimise();
    EXPECT_TRUE(tray.calls.empty());
    EXPECT_EQ(module.SysTrayHooked, 0);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());
    EXPECT_FALSE(handlers->inTray());
}

TEST_F(SysTrayHandlersTest, HandlersAreFoundOnTheirWindow)
{
    EXPECT_EQ(SysTrayHandlers::of(window), handlers);
    QWidget other;
    EXPECT_EQ(SysTrayHandlers::of(&other), nullptr);
}

} // namespace
} // namespace orvane
