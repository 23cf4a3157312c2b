#include "desktop/about_form.h"
#include "desktop/fake_tray_platform.h"
#include "desktop/mod_browse.h"
#include "desktop/tray_handlers.h"
#include "desktop/tray_tip.h"
#include "desktop/window_procs.h"
#include "player/player.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

using Ops = std::vector<std::string>;

class TrayHandlersTest : public ::testing::Test {
protected:
    test::FakeTrayPlatform tray;
    SysTrayModule module{&tray};
    bool paused = false;
    test::FakeTrayWindow window{module, paused};
};

TEST_F(TrayHandlersTest, MinimiseHidesBehindAnIconOfThePlayerStateUntilSettings)
{
    for (const bool pausedNow : {false, true}) {
        SCOPED_TRACE(pausedNow ? "paused" : "playing or stopped");
        paused = pausedNow;
        tray.calls.clear();
        window.calls.clear();
        window.minimise();
        window.Form_Resize(); // in the tray already: nothing more

        ASSERT_EQ(tray.ops(), Ops{"add"});
        const NotifyIconData added = tray.calls[0].data;
        EXPECT_EQ(added.hWnd, test::FakeTrayWindow::Handle);
        EXPECT_EQ(added.uID, window.windowIconHandle());
        EXPECT_EQ(added.hIcon, window.shownPicture);
        EXPECT_EQ(added.szTip, "MP3 Orvane");
        EXPECT_EQ(window.windowImage(), pausedNow ? TrayImagePaused : TrayImagePlaying);
        EXPECT_EQ(module.SysTrayHooked, -1);
        EXPECT_TRUE(window.inTray());
        EXPECT_EQ(window.calls, Ops{"hide minimised"});

        window.mnuSettings_Click();
        EXPECT_EQ(tray.ops(), (Ops{"add", "delete"}));
        EXPECT_EQ(tray.calls[1].data, added);
        EXPECT_EQ(module.SysTrayHooked, 0);
        EXPECT_FALSE(window.inTray());
        EXPECT_EQ(window.calls.back(), "restore");
    }
    EXPECT_EQ(window.loaded.size(), 1u) << "the picture shown before is released";
}

TEST_F(TrayHandlersTest, OnlyTheRightPressBringsTheProgramForwardAndThePopup)
{
    window.minimise();
    window.calls.clear();
    for (std::uint32_t other : {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONUP})
        tray.trayMouse(test::FakeTrayWindow::Handle, other);
    EXPECT_TRUE(window.calls.empty());
    EXPECT_EQ(tray.trayMouse(test::FakeTrayWindow::Handle, WM_RBUTTONDOWN), -1);
    EXPECT_EQ(window.calls, (Ops{"foreground", "popup"}));

    { test::FakeTrayWindow gone{module, paused}; }
    EXPECT_FALSE(module.SysTrayMouseEventHandler) << "a window that goes leaves the module no handler of its";
}

TEST_F(TrayHandlersTest, RefreshSwapsTheIconForOneOfTheNewStateAndKeepsTheHook)
{
    window.minimise();
    const NotifyIconData first = tray.calls[0].data;
    paused = true; // as Pause leaves it
    window.calls.clear();
    window.trayRefresh(TrayImagePaused);

    ASSERT_EQ(tray.ops(), (Ops{"add", "delete", "add"}));
    EXPECT_EQ(tray.calls[1].data, first);
    EXPECT_NE(tray.calls[2].data.uID, first.uID);
    EXPECT_EQ(window.windowImage(), TrayImagePaused);
    EXPECT_EQ(window.calls, (Ops{"hide", "hide minimised"}));
    EXPECT_EQ(tray.procSwaps, 1);
    EXPECT_EQ(window.loaded.size(), 1u);

    window.mnuExit_Click();
    EXPECT_EQ(tray.ops().back(), "delete");
    EXPECT_EQ(tray.calls.back().data, tray.calls[2].data);
    EXPECT_FALSE(window.inTray());
}

// Play from the tray walks the tree and lets events through: Settings or
// Exit chosen meanwhile, or a media key pressed while the window is on
// screen, leave nothing for the refresh that follows to do.
TEST_F(TrayHandlersTest, RefreshLeavesAWindowThatIsNoLongerInTheTrayAlone)
{
    for (const char* during : {"settings", "exit", "never minimised"}) {
        SCOPED_TRACE(during);
        test::FakeTrayPlatform otherTray;
        SysTrayModule otherModule{&otherTray};
        test::FakeTrayWindow w{otherModule, paused};
        if (std::string(during) != "never minimised") {
            w.minimise();
            if (std::string(during) == "settings")
                w.mnuSettings_Click();
            else
                w.mnuExit_Click();
        }
        const auto trayCalls = otherTray.calls.size();
        w.calls.clear();
        w.trayRefresh(TrayImagePlaying);
        EXPECT_EQ(otherTray.calls.size(), trayCalls) << "no icon comes back";
        EXPECT_TRUE(w.calls.empty()) << "the window is not hidden again";
        EXPECT_FALSE(w.inTray());
    }
}

TEST_F(TrayHandlersTest, WithoutANotificationAreaTheWindowStaysOnTheTaskbar)
{
    tray.available = false;
    window.minimise();
    window.trayRefresh(TrayImagePaused);
    EXPECT_TRUE(tray.calls.empty());
    EXPECT_TRUE(window.calls.empty());
    EXPECT_FALSE(window.inTray());
    EXPECT_EQ(window.windowImage(), TrayImagePaused) << "the window still shows the state";
}

// The tip changes in place, only when it differs, and only on an icon that
// is there; the next icon added shows the tip of the moment.
TEST_F(TrayHandlersTest, TheTipChangesInPlaceOnlyWhenItDiffers)
{
    window.setTip("MP3 Orvane\nSong");
    window.showTip();
    EXPECT_TRUE(tray.calls.empty()) << "no icon while the window is on screen";
    window.minimise();
    ASSERT_EQ(tray.ops(), Ops{"add"});
    EXPECT_EQ(tray.calls[0].data.szTip, "MP3 Orvane\nSong");

    window.showTip();
    window.setTip("MP3 Orvane\nPaused: Song");
    EXPECT_EQ(tray.ops(), Ops{"add"});
    window.showTip();
    window.showTip();
    ASSERT_EQ(tray.ops(), (Ops{"add", "modify"}));
    const NotifyIconData modified = tray.calls[1].data;
    EXPECT_EQ(modified.uFlags, NIF_TIP);
    EXPECT_EQ(modified.hWnd, tray.calls[0].data.hWnd);
    EXPECT_EQ(modified.uID, tray.calls[0].data.uID);
    EXPECT_EQ(modified.szTip, "MP3 Orvane\nPaused: Song");

    window.setTip("MP3 Orvane");
    window.trayRefresh(TrayImagePlaying); // a tray command: the icon made anew shows it
    window.showTip();
    EXPECT_EQ(tray.ops(), (Ops{"add", "modify", "delete", "add"}));
    EXPECT_EQ(tray.calls.back().data.szTip, "MP3 Orvane");
    EXPECT_EQ(tray.calls.back().data.uFlags, NIF_MESSAGE | NIF_ICON | NIF_TIP);
}

TEST(TrayTip, TheCaptionAndOnTheSecondLineTheTitleHeardWithinItsBound)
{
    const std::string sixtyFour(64, 'x');
    const std::string clef = "\xF0\x9D\x84\x9E"; // two UTF-16 units
    struct Case {
        PlayState state;
        std::string title;
        std::size_t most;
        std::string expected;
    } cases[] = {
        {PlayState::Idle, "Song", 0, "MP3 Orvane"},
        {PlayState::Playing, "", 0, "MP3 Orvane"},
        {PlayState::Playing, "Song", 0, "MP3 Orvane\nSong"},
        {PlayState::Paused, "Song", 0, "MP3 Orvane\nPaused: Song"},
        {PlayState::Playing, sixtyFour + sixtyFour, 127, "MP3 Orvane\n" + std::string(115, 'x') + "\xE2\x80\xA6"},
        {PlayState::Playing, sixtyFour, 127, "MP3 Orvane\n" + sixtyFour},
        {PlayState::Playing, "\xC3\xA9t\xC3\xA9", 15, "MP3 Orvane\n\xC3\xA9t\xC3\xA9"},
        {PlayState::Playing, "\xC3\xA9t\xC3\xA9!!", 15, "MP3 Orvane\n\xC3\xA9t\xC3\xA9\xE2\x80\xA6"},
        {PlayState::Playing, "ab" + clef, 15, "MP3 Orvane\nab" + clef},
        {PlayState::Playing, "ab" + clef + "c", 15, "MP3 Orvane\nab\xE2\x80\xA6"},
        {PlayState::Playing, "a\xFF\xFF\xFF\xFF", 15, "MP3 Orvane\na\xFF\xFF\xE2\x80\xA6"},
        {PlayState::Paused, "Song", 5, "MP3 \xE2\x80\xA6"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(trayTipText(c.state, c.title, c.most), c.expected) << c.title << " within " << c.most;
}

TEST(WindowProcSlots, ProceduresReplaceEachOtherAndAnUnhookedWindowIgnoresMessages)
{
    WindowProcSlots slots;
    EXPECT_EQ(slots.send(1, SysTrayCallbackMessage, 0, WM_RBUTTONDOWN), 0);
    const WindowProc own = slots.set(1, [](WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) { return 7; });
    ASSERT_TRUE(own);
    EXPECT_EQ(slots.send(1, 0, 0, 0), 7);
    // A procedure that puts the one before back while it runs.
    slots.set(1, [&](WindowHandle w, std::uint32_t, std::uintptr_t, std::intptr_t) {
        slots.set(w, own);
        return 9;
    });
    EXPECT_EQ(slots.send(1, 0, 0, 0), 9);
    EXPECT_EQ(slots.send(1, 0, 0, 0), 0);
}

TEST(BrowseResult, EndsInTheSeparatorExceptWhenNothingWasChosen)
{
    const std::pair<const char*, const char*> slash[] = {{"", ""}, {"/m/x", "/m/x/"}, {"/m/x/", "/m/x/"}, {"/", "/"}};
    for (auto [chosen, result] : slash)
        EXPECT_EQ(modBrowse::browseResult(chosen, '/'), result) << chosen;
    EXPECT_EQ(modBrowse::browseResult("C:\\Music", '\\'), "C:\\Music\\");
    EXPECT_EQ(modBrowse::browseResult("C:\\", '\\'), "C:\\");
}

class FakeAbout : public AboutForm {
public:
    std::vector<std::string> calls;

private:
    void showVersion(const std::string& caption) override { calls.push_back(caption); }
    void showLinkUnderline(bool on) override { calls.push_back(on ? "underline" : "plain"); }
    void closeWindow() override { calls.push_back("close"); }
    void openWebPage(const std::string& address) override { calls.push_back("open " + address); }
};

TEST(AboutForm, VersionLinkUnderlineAndClosing)
{
    FakeAbout about;
    about.Form_Load();
    about.Frame1_MouseMove(); // plain already
    about.lblURL_MouseMove();
    about.lblURL_MouseMove();
    about.lblURL_Click();
    about.Frame1_MouseMove();
    about.Frame1_Click();
    about.cmdExit_Click();
    EXPECT_EQ(about.calls, (Ops{"Version 3.0.0", "underline", "open https://orvane.example.org/", "plain",
                                "close", "close"}));
}

} // namespace
} // namespace orvane
