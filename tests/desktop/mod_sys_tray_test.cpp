#include "desktop/fake_tray_platform.h"
#include "desktop/mod_sys_tray.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace orvane {
namespace {

using Message = std::tuple<WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t>;

constexpr WindowHandle MainWindow = 0x1234;
constexpr WindowHandle OtherWindow = 0x5678;
constexpr std::int32_t PrevResult = 42;

class SysTrayModuleTest : public ::testing::Test {
protected:
    SysTrayModuleTest()
    {
        // The procedure the window had before the tray: it records what it got.
        tray.procs[MainWindow] = [this](WindowHandle w, std::uint32_t m, std::uintptr_t wp, std::intptr_t lp) {
            passedOn.emplace_back(w, m, wp, lp);
            return PrevResult;
        };
        module.SysTrayMouseEventHandler = [this] { ++popups; };
    }

    test::FakeTrayPlatform tray;
    SysTrayModule module{&tray};
    std::vector<Message> passedOn;
    int popups = 0;
};

TEST_F(SysTrayModuleTest, HookInstallsOnceAndUnhookRestoresTheFirstPreviousProcedure)
{
    EXPECT_EQ(module.SysTrayHooked, 0);
    module.UnhookSysTrayWindow(); // not hooked: nothing to put back
    EXPECT_EQ(tray.procSwaps, 0);

    module.HookSysTrayWindow(MainWindow);
    EXPECT_EQ(module.SysTrayHooked, -1);
    EXPECT_EQ(module.SysTrayHookedWindow, MainWindow);

    // A second install, even on another window, changes nothing: the saved
    // procedure must stay the window's own, not the hook itself.
    module.HookSysTrayWindow(MainWindow);
    module.HookSysTrayWindow(OtherWindow);
    EXPECT_EQ(tray.procSwaps, 1);
    EXPECT_EQ(module.SysTrayHookedWindow, MainWindow);
    EXPECT_EQ(tray.trayMouse(MainWindow, WM_LBUTTONDOWN), PrevResult);
    ASSERT_EQ(passedOn.size(), 1u);

    module.UnhookSysTrayWindow();
    EXPECT_EQ(module.SysTrayHooked, 0);
    EXPECT_EQ(tray.procSwaps, 2);
    // The window's own procedure is back: a right press no longer opens the menu.
    EXPECT_EQ(tray.trayMouse(MainWindow, WM_RBUTTONDOWN), PrevResult);
    EXPECT_EQ(popups, 0);

    module.UnhookSysTrayWindow();
    EXPECT_EQ(tray.procSwaps, 2);
}

TEST_F(SysTrayModuleTest, RightPressOpensTheMenuAndEverythingElseGoesToThePreviousProcedure)
{
    module.HookSysTrayWindow(MainWindow);

    EXPECT_EQ(tray.trayMouse(MainWindow, WM_RBUTTONDOWN), -1);
    EXPECT_EQ(popups, 1);
    EXPECT_TRUE(passedOn.empty());

    const std::vector<Message> others = {
        {MainWindow, SysTrayCallbackMessage, 7, WM_LBUTTONDOWN},
        {MainWindow, SysTrayCallbackMessage, 7, WM_LBUTTONDBLCLK},
        {MainWindow, SysTrayCallbackMessage, 7, WM_RBUTTONUP},
        {MainWindow, SysTrayCallbackMessage, 7, WM_MOUSEMOVE},
        {MainWindow, WM_MOUSEMOVE, 3, WM_RBUTTONDOWN}, // the press number, but not from the tray
    };
    for (const auto& [w, m, wp, lp] : others)
        EXPECT_EQ(module.SysTrayWindowProc(w, m, wp, lp), PrevResult);
    EXPECT_EQ(passedOn, others); // unchanged, in order
    EXPECT_EQ(popups, 1);
}

TEST_F(SysTrayModuleTest, UnhookedProcedureAnswersZeroAndPassesNothingOn)
{
    EXPECT_EQ(module.SysTrayWindowProc(MainWindow, SysTrayCallbackMessage, 0, WM_RBUTTONDOWN), 0);
    EXPECT_EQ(module.SysTrayWindowProc(MainWindow, SysTrayCallbackMessage, 0, WM_LBUTTONDOWN), 0);
    module.HookSysTrayWindow(MainWindow);
    module.UnhookSysTrayWindow();
    EXPECT_EQ(module.SysTrayWindowProc(MainWindow, SysTrayCallbackMessage, 0, WM_RBUTTONDOWN), 0);
    EXPECT_EQ(popups, 0);
    EXPECT_TRUE(passedOn.empty());
}

TEST_F(SysTrayModuleTest, AddFillsTheRecordAndDeleteNamesTheLastAdd)
{
    EXPECT_EQ(module.SysTrayIconData, NotifyIconData{}); // all zero at start

    module.AddSysTrayIcon(MainWindow, 5, 5, "MP3 Orvane");
    const NotifyIconData first = module.SysTrayIconData;
    EXPECT_EQ(first.hWnd, MainWindow);
    EXPECT_EQ(first.uID, 5u);
    EXPECT_EQ(first.hIcon, 5u);
    EXPECT_EQ(first.uFlags, 7u);
    EXPECT_EQ(first.uCallbackMessage, 0x205u);
    EXPECT_EQ(first.szTip, "MP3 Orvane");

    // Deleting twice names the same icon both times.
    module.RemoveSysTrayIcon();
    module.RemoveSysTrayIcon();
    module.AddSysTrayIcon(MainWindow, 9, 9, "MP3 Orvane");
    module.RemoveSysTrayIcon();

    ASSERT_EQ(tray.ops(), (std::vector<std::string>{"add", "delete", "delete", "add", "delete"}));
    EXPECT_EQ(tray.calls[0].data, first);
    EXPECT_EQ(tray.calls[1].data, first);
    EXPECT_EQ(tray.calls[2].data, first);
    EXPECT_EQ(tray.calls[4].data.uID, 9u);
    EXPECT_EQ(tray.calls[4].data, tray.calls[3].data);
}

} // namespace
} // namespace orvane
