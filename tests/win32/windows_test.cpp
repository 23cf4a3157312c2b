// The Windows program's windows as real Win32 windows (under Wine with its
// display-less driver, which still finds the window under the pointer): the
// main window's twips layout and tab order, the control model shown on the
// controls and their events reaching the handlers, the window procedure the
// tray puts in place while the window is minimised; the startup and About
// windows' clicks and pointer moves; the tray images and their fallbacks.

#include "win32/frm_about.h"
#include "win32/frm_orvane.h"
#include "win32/frm_splash.h"
#include "win32/win_start.h"
#include "support/fakes.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>

#include <oleacc.h>
#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <functional>

namespace orvane {
namespace {

using test::FakeMMControl;
using test::MemoryStore;

void pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        dispatchMessage(message);
}

RECT clientRect(HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool enabled(HWND control)
{
    return IsWindowEnabled(control) != FALSE;
}

bool checked(HWND control)
{
    return SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool menuEnabled(const frmOrvane& window, const char* item)
{
    return (GetMenuState(window.popupMenu(), frmOrvane::menuId(item), MF_BYCOMMAND) & MF_GRAYED) == 0;
}

// A window's accessible object as a screen reader gets it (MSAA).
class Accessible {
public:
    explicit Accessible(HWND window)
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        AccessibleObjectFromWindow(window, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&object_));
    }
    ~Accessible()
    {
        if (object_)
            object_->Release();
        CoUninitialize();
    }
    Accessible(const Accessible&) = delete;
    Accessible& operator=(const Accessible&) = delete;

    bool found() const { return object_ != nullptr; }
    std::string name(long child = CHILDID_SELF) const { return text(&IAccessible::get_accName, child); }
    long childCount() const
    {
        long n = 0;
        return object_ && object_->get_accChildCount(&n) == S_OK ? n : 0;
    }
    std::string description() const { return text(&IAccessible::get_accDescription); }
    long role() const
    {
        VARIANT role;
        VariantInit(&role);
        if (!object_ || object_->get_accRole(self(), &role) != S_OK || role.vt != VT_I4)
            return 0;
        return role.lVal;
    }
    bool press() const { return object_ && object_->accDoDefaultAction(self()) == S_OK; }

private:
    static VARIANT self()
    {
        VARIANT child;
        VariantInit(&child);
        child.vt = VT_I4;
        child.lVal = CHILDID_SELF;
        return child;
    }
    std::string text(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), long child = CHILDID_SELF) const
    {
        VARIANT which = self();
        which.lVal = child;
        BSTR value = nullptr;
        if (!object_ || FAILED((object_->*get)(which, &value)) || !value)
            return {};
        const std::string result = win::narrow(std::wstring(value, SysStringLen(value)));
        SysFreeString(value);
        return result;
    }

    IAccessible* object_ = nullptr;
};

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest()
    {
        store.values["HKEY_CURRENT_USER\\Software\\Orvane\\PlayOrder"] = "1";
        store.values["HKEY_CURRENT_USER\\Software\\Orvane\\Sub"] = "1";
        store.values["HKEY_CURRENT_USER\\Software\\Orvane\\PlayPath"] = music;
        tree.makeFile("music/a.mp3");
        tree.makeFile("music/b.mp3");
        makeWindow();
    }

    void makeWindow(MainForm::FileReads reads = MainForm::FileReads::AtOnce)
    {
        window.reset();
        auto control = std::make_unique<FakeMMControl>();
        mm = control.get();
        frmOrvane::Hooks hooks;
        hooks.unloaded = [this] { ++unloads; };
        hooks.reads = reads;
        window = std::make_unique<frmOrvane>(std::move(control), makeNativeFileSystem(), settings, hooks);
    }

    // Lets the window's messages through until done holds (the guard only
    // keeps a broken build from hanging the run).
    bool pumpUntil(const std::function<bool()>& done)
    {
        for (int i = 0; i < 2000 && !done(); ++i) {
            pump();
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        return done();
    }

    HWND control(const char* name) const { return window->control(name); }
    void click(const char* name) { SendMessageW(control(name), BM_CLICK, 0, 0); }

    test::TempTree tree;
    const std::string music = tree.path("music");
    MemoryStore store;
    SettingsProvider settings{store.factory()};
    FakeMMControl* mm = nullptr;
    int unloads = 0;
    std::unique_ptr<frmOrvane> window;
};

// The program reads its files off the window thread: Play returns at once,
// and the answers, posted back to the window, start the music.
TEST_F(MainWindowTest, FilesReadOffTheWindowThreadComeBackAsItsMessages)
{
    makeWindow(MainForm::FileReads::OffWindowThread);
    click("cmdPlay");
    EXPECT_FALSE(window->timer1Runs()) << "Play waits for the file system, not in its handler";
    ASSERT_TRUE(pumpUntil([&] { return window->timer1Runs(); }));
    SendMessageW(window->hwnd(), WM_TIMER, 1, 0);
    ASSERT_TRUE(pumpUntil([&] { return !mm->opened().empty(); }));
    EXPECT_EQ(mm->opened().front(), tree.path("music/a.mp3"));
    click("cmdStop");
}

TEST_F(MainWindowTest, ControlsStandInTheTwipsLayoutInTabOrder)
{
    const win::TwipsScale tw(win::windowDpi(window->hwnd()));
    RECT client;
    GetClientRect(window->hwnd(), &client);
    EXPECT_EQ(client.right, tw.px(layout::MainClient.width));
    EXPECT_EQ(client.bottom, tw.px(layout::MainClient.height));
    for (const layout::Control& c : layout::MainControls) {
        const RECT want = tw.rect(c.rect);
        const RECT got = clientRect(control(c.name));
        EXPECT_EQ(std::vector<LONG>({got.left, got.top, got.right, got.bottom}),
                  std::vector<LONG>({want.left, want.top, want.right, want.bottom}))
            << c.name;
    }
    const RECT line = clientRect(control("Line2"));
    EXPECT_FALSE(IsRectEmpty(&line));

    // Focus moves in the order the controls were made; of an option pair,
    // the selected one takes the tab stop, as in a dialog.
    std::vector<std::string> order;
    for (HWND h = GetWindow(window->hwnd(), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        for (const layout::Control& c : layout::MainControls) {
            if (control(c.name) == h && c.kind != layout::Kind::Heading)
                order.push_back(c.name);
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Text1", "cmdPath", "optDate", "optName", "ckRepeat", "ckSub",
                                               "cmdStop", "cmdSkip", "cmdPause", "cmdPlay"}));
    EXPECT_TRUE(GetWindowLongPtrW(control("optDate"), GWL_STYLE) & WS_TABSTOP);

    // Fixed size, minimise and close only.
    const LONG_PTR style = GetWindowLongPtrW(window->hwnd(), GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));

    // Moved to a monitor of another DPI, the window lays itself out at that
    // DPI where the system suggests.
    const win::TwipsScale twice(tw.dpi() * 2);
    RECT suggested{40, 30, 50, 40};
    SendMessageW(window->hwnd(), WM_DPICHANGED, MAKEWPARAM(twice.dpi(), twice.dpi()),
                 reinterpret_cast<LPARAM>(&suggested));
    GetClientRect(window->hwnd(), &client);
    EXPECT_EQ(client.right, twice.px(layout::MainClient.width));
    RECT frame;
    GetWindowRect(window->hwnd(), &frame);
    EXPECT_EQ(std::vector<LONG>({frame.left, frame.top}), std::vector<LONG>({40, 30}));
    const RECT want = twice.rect(layout::MainControls[std::size(layout::MainControls) - 1].rect);
    const RECT got = clientRect(control(layout::MainControls[std::size(layout::MainControls) - 1].name));
    EXPECT_EQ(std::vector<LONG>({got.left, got.top, got.right, got.bottom}),
              std::vector<LONG>({want.left, want.top, want.right, want.bottom}));
}

TEST_F(MainWindowTest, ControlsShowTheModelAndTheirEventsReachTheHandlers)
{
    // The loaded settings and the idle arrangement.
    EXPECT_TRUE(checked(control("optDate")));
    EXPECT_FALSE(checked(control("optName")));
    EXPECT_TRUE(checked(control("ckSub")));
    EXPECT_FALSE(checked(control("ckRepeat")));
    EXPECT_EQ(win::narrow(win::windowText(control("Text1"))), music);
    EXPECT_FALSE(enabled(control("cmdPause")) || enabled(control("cmdSkip")));
    EXPECT_FALSE(menuEnabled(*window, "mnuPause") || menuEnabled(*window, "mnuSkip"));
    EXPECT_TRUE(menuEnabled(*window, "mnuPlay") && menuEnabled(*window, "mnuExit"));

    // Each option is stored at its click; typing reaches the play path.
    store.writes.clear();
    click("optName");
    click("ckRepeat");
    EXPECT_EQ(store.writes, (std::vector<std::string>{"PlayOrder=2", "Repeat=1"}));
    EXPECT_TRUE(checked(control("optName")) && !checked(control("optDate")));
    SetWindowTextW(control("Text1"), win::wide(tree.path("elsewhere")).c_str());
    EXPECT_EQ(window->controls().Text1(), tree.path("elsewhere"));
    SetWindowTextW(control("Text1"), win::wide(music).c_str());

    // Play: the playing arrangement on the window and in the menu alike.
    click("cmdPlay");
    EXPECT_TRUE(window->timer1Runs());
    for (const char* name : {"cmdPlay", "Text1", "cmdPath", "optDate", "optName", "ckRepeat", "ckSub"})
        EXPECT_FALSE(enabled(control(name))) << name;
    EXPECT_TRUE(enabled(control("cmdPause")) && enabled(control("cmdSkip")) && enabled(control("cmdStop")));
    EXPECT_TRUE(menuEnabled(*window, "mnuPause") && !menuEnabled(*window, "mnuPlay"));

    // The window's own timer drives the player: the first file opens. Its
    // end asks the window for a tick at once, and the next file follows.
    SendMessageW(window->hwnd(), WM_TIMER, 1, 0);
    EXPECT_EQ(mm->opened(), std::vector<std::string>{tree.path("music/a.mp3")});
    mm->finish();
    MSG asked;
    EXPECT_TRUE(PeekMessageW(&asked, window->hwnd(), WinUiHost::TickMessage, WinUiHost::TickMessage, PM_NOREMOVE));
    pump();
    EXPECT_EQ(mm->opened(), (std::vector<std::string>{tree.path("music/a.mp3"), tree.path("music/b.mp3")}));

    click("cmdPause");
    EXPECT_TRUE(window->player().Paused);
    EXPECT_TRUE(enabled(control("cmdPlay")) && !enabled(control("cmdSkip")));
    click("cmdStop");
    EXPECT_FALSE(window->timer1Runs());
    EXPECT_TRUE(enabled(control("Text1")) && enabled(control("optDate")));

    // The session's end unloads as a close does, once: the control closed,
    // everything stored.
    store.writes.clear();
    mm->clear();
    SendMessageW(window->hwnd(), WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(unloads, 1);
    SendMessageW(window->hwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(unloads, 1);
    EXPECT_EQ(mm->commands(), std::vector<std::string>{"Close"});
    EXPECT_EQ(store.writes.size(), 4u);
}

// The menu's Back 10 s and Forward 30 s and the keys Ctrl+Left and Ctrl+Right
// move within the file heard, and are grey while nothing seekable plays
// (asked again as the menu opens); the Sleep submenu's choice carries the
// radio mark and tells the screen reader the time left.
TEST_F(MainWindowTest, SeekItemsKeysAndTheSleepSubmenu)
{
    const auto seekOffered = [&] { return menuEnabled(*window, "mnuBack") && menuEnabled(*window, "mnuForward"); };
    const auto seekGrey = [&] { return !menuEnabled(*window, "mnuBack") && !menuEnabled(*window, "mnuForward"); };
    ShowWindow(window->hwnd(), SW_SHOWNORMAL);
    EXPECT_TRUE(seekGrey()) << "stopped";
    click("cmdPlay");
    SendMessageW(window->hwnd(), WM_TIMER, 1, 0);
    ASSERT_TRUE(pumpUntil([&] { return !mm->opened().empty(); }));
    EXPECT_TRUE(seekOffered());
    mm->seekable = false;
    SendMessageW(window->hwnd(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(window->popupMenu()), 0);
    EXPECT_TRUE(seekGrey()) << "a file that cannot be moved within";
    mm->seekable = true;
    SendMessageW(window->hwnd(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(window->popupMenu()), 0);
    EXPECT_TRUE(seekOffered());
    mm->positionNow = 50.0;
    mm->clear();
    SendMessageW(window->hwnd(), WM_COMMAND, frmOrvane::menuId("mnuBack"), 0);
    SendMessageW(window->hwnd(), WM_COMMAND, frmOrvane::menuId("mnuForward"), 0);
    EXPECT_EQ(mm->log, (std::vector<std::string>{"Seek=40000", "Seek=70000"}));

    // Keys as the message loop hands them on, whatever control has the focus.
    mm->clear();
    SetFocus(control("cmdStop"));
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    for (const WPARAM key : {VK_LEFT, VK_RIGHT}) {
        MSG m{control("cmdStop"), WM_KEYDOWN, key, 0, 0, {}};
        dispatchMessage(m);
    }
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(mm->log, (std::vector<std::string>{"Seek=60000", "Seek=90000"}));

    const HMENU popup = window->popupMenu();
    const auto checked = [&](const char* name) {
        return (GetMenuState(popup, frmOrvane::menuId(name), MF_BYCOMMAND) & MF_CHECKED) != 0;
    };
    EXPECT_TRUE(checked("mnuSleepOff"));
    SendMessageW(window->hwnd(), WM_COMMAND, frmOrvane::menuId("mnuSleep30"), 0);
    EXPECT_EQ(window->player().sleep().choice(), SleepTimer::Choice::Minutes30);
    EXPECT_TRUE(checked("mnuSleep30"));
    EXPECT_FALSE(checked("mnuSleepOff"));
    EXPECT_NE(window->description().find("Sleep in 30 min"), std::string::npos) << window->description();
    click("cmdStop");
    EXPECT_TRUE(checked("mnuSleepOff")) << "Stop ends the sleep";
    EXPECT_TRUE(seekGrey()) << "after Stop";
    EXPECT_EQ(window->description().find("Sleep"), std::string::npos);
}

// The popup menu that a message to the window shows, closed again as soon as
// it is up; null when none showed.
HMENU menuShownBy(const std::function<void()>& send)
{
    static HMENU shown;
    shown = nullptr;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) {
        if (const HWND menu = FindWindowW(L"#32768", nullptr); menu && IsWindowVisible(menu)) {
            shown = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
            EndMenu();
        }
    });
    send();
    KillTimer(nullptr, timer);
    pump();
    return shown;
}

// The window's own context menu is the tray's menu: a right click in the
// window or on a control, the Menu key and Shift+F10 show it; the play path
// box keeps its menu of editing commands, the title bar its system menu.
TEST_F(MainWindowTest, TheWindowsContextMenuIsTheTrayMenu)
{
    ShowWindow(window->hwnd(), SW_SHOWNORMAL);
    const HWND main = window->hwnd();
    const auto rightClickOn = [](HWND at) {
        return [at] {
            RECT r;
            GetWindowRect(at, &r);
            SendMessageW(at, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(at), MAKELPARAM(r.left + 2, r.top + 2));
        };
    };
    for (const char* name : {"cmdPlay", "ckSub", "optName", "Label1"})
        EXPECT_EQ(menuShownBy(rightClickOn(control(name))), window->popupMenu()) << name;
    RECT client{};
    GetClientRect(main, &client);
    EXPECT_EQ(menuShownBy([&] { SendMessageW(main, WM_RBUTTONUP, 0, MAKELPARAM(client.right - 3, client.bottom - 3)); }),
              window->popupMenu());
    SetFocus(control("cmdStop"));
    EXPECT_EQ(menuShownBy([&] { SendMessageW(control("cmdStop"), WM_CONTEXTMENU, 0, -1); }), window->popupMenu());
    EXPECT_NE(menuShownBy(rightClickOn(control("Text1"))), window->popupMenu());
    RECT frame;
    GetWindowRect(main, &frame);
    EXPECT_NE(menuShownBy([&] { SendMessageW(main, WM_CONTEXTMENU, 0, MAKELPARAM(frame.left + 40, frame.top + 5)); }),
              window->popupMenu());
}

// Shuffle Folders: a check item whose mark is the model's, turned round by
// its choice, and grey without Subdirectories.
TEST_F(MainWindowTest, ShuffleFoldersIsACheckItemThatFollowsSubdirectories)
{
    const auto marked = [&] {
        return (GetMenuState(window->popupMenu(), frmOrvane::menuId("mnuShuffle"), MF_BYCOMMAND) & MF_CHECKED) != 0;
    };
    const auto choose = [&] { SendMessageW(window->hwnd(), WM_COMMAND, frmOrvane::menuId("mnuShuffle"), 0); };
    ASSERT_TRUE(menuEnabled(*window, "mnuShuffle"));
    EXPECT_FALSE(marked());
    store.writes.clear();
    choose();
    EXPECT_TRUE(marked() && window->controls().shuffle());
    choose();
    EXPECT_FALSE(marked() || window->controls().shuffle());
    EXPECT_EQ(store.writes, (std::vector<std::string>{"ShuffleFolders=1", "ShuffleFolders=0"}));
    click("ckSub");
    EXPECT_FALSE(menuEnabled(*window, "mnuShuffle"));
    choose();
    EXPECT_FALSE(marked() || window->controls().shuffle());
}

// Every control a screen reader reaches has a name and its kind; the window
// says what is heard and whether it is paused.
TEST_F(MainWindowTest, ScreenReadersHearEveryControlAndWhatPlays)
{
    struct Case {
        const char* control;
        long role;
        const char* name;
    } const cases[] = {
        {"Text1", ROLE_SYSTEM_TEXT, "Play Path"},       {"cmdPath", ROLE_SYSTEM_PUSHBUTTON, "Browse"},
        {"optDate", ROLE_SYSTEM_RADIOBUTTON, "Date"},   {"optName", ROLE_SYSTEM_RADIOBUTTON, "Name"},
        {"ckRepeat", ROLE_SYSTEM_CHECKBUTTON, "Repeat All"}, {"ckSub", ROLE_SYSTEM_CHECKBUTTON, "Subdirectories"},
        {"cmdStop", ROLE_SYSTEM_PUSHBUTTON, "Stop"},    {"cmdSkip", ROLE_SYSTEM_PUSHBUTTON, "Skip"},
        {"cmdPause", ROLE_SYSTEM_PUSHBUTTON, "Pause"},  {"cmdPlay", ROLE_SYSTEM_PUSHBUTTON, "Play"},
    };
    for (const Case& c : cases) {
        const Accessible control(window->control(c.control));
        EXPECT_TRUE(control.found()) << c.control;
        EXPECT_EQ(control.role(), c.role) << c.control;
        EXPECT_EQ(control.name(), c.name) << c.control;
    }

    for (const char* line : {"Line1", "Line2", "Line3"})
        EXPECT_EQ(Accessible(window->control(line)).role(), ROLE_SYSTEM_SEPARATOR) << line;
    // "Date" and "Name" lie in one group named by the heading above them,
    // which clicks pass through.
    const Accessible group(window->control("fraOrder"));
    EXPECT_EQ(group.role(), ROLE_SYSTEM_GROUPING);
    EXPECT_EQ(group.name(), "File Play Order");
    RECT place, option, both;
    GetWindowRect(window->control("fraOrder"), &place);
    for (const char* name : {"optDate", "optName"}) {
        GetWindowRect(window->control(name), &option);
        EXPECT_TRUE(IntersectRect(&both, &place, &option) && EqualRect(&both, &option)) << name;
        const POINT middle{(option.left + option.right) / 2, (option.top + option.bottom) / 2};
        EXPECT_EQ(SendMessageW(window->control("fraOrder"), WM_NCHITTEST, 0, MAKELPARAM(middle.x, middle.y)),
                  HTTRANSPARENT) << name;
    }

    const auto described = [&] { return Accessible(window->hwnd()).description(); };
    EXPECT_EQ(described(), "");
    click("cmdPlay");
    SendMessageW(window->hwnd(), WM_TIMER, 1, 0);
    EXPECT_EQ(described(), "Playing: a.mp3");
    click("cmdPause");
    EXPECT_EQ(described(), "Paused: a.mp3");
    click("cmdPlay");
    mm->finish();
    pump();
    EXPECT_EQ(described(), "Playing: b.mp3");
    click("cmdStop");
    EXPECT_EQ(described(), "");
}

TEST_F(MainWindowTest, MinimiseHooksTheHiddenWindowAndSettingsPutsItsProcedureBack)
{
    ShowWindow(window->hwnd(), SW_SHOWNORMAL);
    const LONG_PTR ownProc = GetWindowLongPtrW(window->hwnd(), GWLP_WNDPROC);

    ShowWindow(window->hwnd(), SW_MINIMIZE);
    pump();
    EXPECT_TRUE(window->tray().inTray());
    EXPECT_FALSE(IsWindowVisible(window->hwnd()));
    EXPECT_NE(GetWindowLongPtrW(window->hwnd(), GWLP_WNDPROC), ownProc);
    EXPECT_EQ(modSysTray::module().SysTrayIconData.uID, window->tray().windowIconHandle());

    // Tray notifications other than the right-button press go on to the
    // window's own procedure, which does nothing with them; so do the menu's
    // choices, which come as commands.
    EXPECT_EQ(SendMessageW(window->hwnd(), SysTrayCallbackMessage, 0, WM_LBUTTONDOWN), 0);
    EXPECT_EQ(SendMessageW(window->hwnd(), SysTrayCallbackMessage, 0, WM_RBUTTONUP), 0);
    EXPECT_FALSE(IsWindowVisible(window->hwnd()));

    SendMessageW(window->hwnd(), WM_COMMAND, frmOrvane::menuId("mnuPause"), 0);
    EXPECT_TRUE(window->player().Paused);
    SendMessageW(window->hwnd(), WM_COMMAND, frmOrvane::menuId("mnuSettings"), 0);
    pump();
    EXPECT_FALSE(window->tray().inTray());
    EXPECT_TRUE(IsWindowVisible(window->hwnd()));
    EXPECT_FALSE(IsIconic(window->hwnd()));
    EXPECT_EQ(GetWindowLongPtrW(window->hwnd(), GWLP_WNDPROC), ownProc);
    EXPECT_EQ(modSysTray::module().SysTrayHooked, 0);
}

// In the tray the icon's tip names what plays, within the 127 characters
// the notification area's record holds, and follows a pause.
TEST_F(MainWindowTest, TheTrayTipNamesWhatPlaysWithinItsFieldAndFollowsAPause)
{
    const std::string name(200, 'x');
    tree.makeFile("long/" + name + ".mp3");
    SetWindowTextW(control("Text1"), win::wide(tree.path("long")).c_str());
    ShowWindow(window->hwnd(), SW_SHOWNORMAL);
    ShowWindow(window->hwnd(), SW_MINIMIZE);
    pump();
    ASSERT_TRUE(window->tray().inTray());
    EXPECT_EQ(modSysTray::module().SysTrayIconData.szTip, "MP3 Orvane") << "nothing plays";

    click("cmdPlay");
    SendMessageW(window->hwnd(), WM_TIMER, 1, 0);
    pump();
    const std::wstring tip = win::wide(modSysTray::module().SysTrayIconData.szTip);
    EXPECT_EQ(tip.size(), 127u);
    EXPECT_EQ(tip.substr(0, 13), L"MP3 Orvane\nxx");
    EXPECT_EQ(tip.back(), L'\u2026');

    SendMessageW(window->hwnd(), WM_COMMAND, frmOrvane::menuId("mnuPause"), 0);
    pump();
    EXPECT_EQ(win::wide(modSysTray::module().SysTrayIconData.szTip).substr(0, 21), L"MP3 Orvane\nPaused: xx");
    click("cmdStop");
}

// A key pressed and let go on the keyboard, wherever the focus is.
void pressKey(WORD virtualKey)
{
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = virtualKey;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
    pump();
}

LRESULT sendAppCommand(HWND window, int command)
{
    return SendMessageW(window, WM_APPCOMMAND, reinterpret_cast<WPARAM>(window), MAKELPARAM(0, command));
}

// The media keys are the desktop's hot keys while the window lives, so they
// reach it in the tray too; a key another program holds comes as the
// focused window's command instead. Play/Pause, Next and Stop act as their
// tray twins (whose rules the core's tests go through).
TEST_F(MainWindowTest, MediaKeysAreHotKeysWhileTheWindowLivesOrElseCommands)
{
    EXPECT_FALSE(RegisterHotKey(nullptr, 1, MOD_NOREPEAT, VK_MEDIA_PLAY_PAUSE)) << "the window holds the key";
    click("cmdPlay");
    SendMessageW(window->hwnd(), WM_TIMER, 1, 0);
    ShowWindow(window->hwnd(), SW_MINIMIZE);
    pump();
    ASSERT_TRUE(window->tray().inTray());
    mm->clear();

    pressKey(VK_MEDIA_PLAY_PAUSE);
    EXPECT_TRUE(window->player().Paused);
    EXPECT_EQ(mm->commands(), std::vector<std::string>{"pause"});
    EXPECT_EQ(sendAppCommand(window->hwnd(), APPCOMMAND_MEDIA_PLAY_PAUSE), 0) << "a held key acts once";
    pressKey(VK_MEDIA_NEXT_TRACK); // Skip cannot be chosen while paused
    EXPECT_EQ(mm->commands(), std::vector<std::string>{"pause"});
    pressKey(VK_MEDIA_PLAY_PAUSE);
    pressKey(VK_MEDIA_NEXT_TRACK);
    pressKey(VK_MEDIA_STOP);
    EXPECT_EQ(mm->commands(), (std::vector<std::string>{"pause", "pause", "Close", "Close"}));
    EXPECT_EQ(window->player().PlayOn, 0);
    EXPECT_TRUE(window->tray().inTray());

    window.reset();
    ASSERT_TRUE(RegisterHotKey(nullptr, 1, MOD_NOREPEAT, VK_MEDIA_PLAY_PAUSE)) << "the window let it go";
    makeWindow();
    EXPECT_FALSE(window->holdsHotKey(MediaKey::PlayPause));
    EXPECT_TRUE(window->holdsHotKey(MediaKey::Next) && window->holdsHotKey(MediaKey::Stop));
    EXPECT_EQ(sendAppCommand(window->hwnd(), APPCOMMAND_MEDIA_PLAY_PAUSE), TRUE);
    EXPECT_EQ(window->player().PlayOn, 1);
    EXPECT_EQ(sendAppCommand(window->hwnd(), APPCOMMAND_MEDIA_PAUSE), TRUE);
    EXPECT_TRUE(window->player().Paused);
    UnregisterHotKey(nullptr, 1);
}

TEST_F(MainWindowTest, ACloseAskedForInTheTrayTakesTheIconAsExitDoes)
{
    ShowWindow(window->hwnd(), SW_SHOWNORMAL);
    ShowWindow(window->hwnd(), SW_MINIMIZE);
    pump();
    ASSERT_TRUE(window->tray().inTray());
    SendMessageW(window->hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(window->tray().inTray());
    EXPECT_EQ(window->hwnd(), nullptr);
    EXPECT_EQ(unloads, 1);
    EXPECT_EQ(mm->commands(), std::vector<std::string>{"Close"});
}

// A block as the shell hands it over with WM_DROPFILES: a DROPFILES record,
// then the paths, each ended, and an empty one at the end.
HDROP dropOf(const std::vector<std::string>& paths)
{
    std::wstring list;
    for (const std::string& path : paths)
        list += win::wide(path) + L'\0';
    list += L'\0';
    HGLOBAL block = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    auto* files = static_cast<DROPFILES*>(GlobalLock(block));
    files->pFiles = sizeof(DROPFILES);
    files->fWide = TRUE;
    std::memcpy(reinterpret_cast<BYTE*>(files) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    GlobalUnlock(block);
    return static_cast<HDROP>(block);
}

struct DropCase {
    const char* name;
    std::vector<std::string> items; // under the test's tree
    std::string plays;              // the first file opened; empty: the drop is refused
};

class MainWindowDrop : public MainWindowTest, public ::testing::WithParamInterface<DropCase> {};

// What Explorer drops onto the window plays as Play plays a typed path: the
// first folder among the items, else an ".mp3" file's folder from that file;
// anything else changes nothing (no box either: nothing was asked of it).
TEST_P(MainWindowDrop, PlaysTheFirstFolderOrAFilesFolderFromItAndRefusesAnythingElse)
{
    tree.makeFile("other/c.mp3");
    tree.makeFile("other/d.mp3");
    tree.makeFile("notes.txt");
    std::vector<std::string> items;
    for (const std::string& item : GetParam().items)
        items.push_back(tree.path(item));
    SendMessageW(window->hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(dropOf(items)), 0);
    pump();
    if (GetParam().plays.empty()) {
        EXPECT_FALSE(window->timer1Runs());
        EXPECT_EQ(window->controls().Text1(), music);
        return;
    }
    ASSERT_TRUE(window->timer1Runs());
    SendMessageW(window->hwnd(), WM_TIMER, 1, 0);
    ASSERT_FALSE(mm->opened().empty());
    EXPECT_EQ(mm->opened().front(), tree.path(GetParam().plays));
    click("cmdStop");
}

INSTANTIATE_TEST_SUITE_P(
    Items, MainWindowDrop,
    ::testing::Values(DropCase{"AFolder", {"other"}, "other/c.mp3"},
                      DropCase{"AFileFromIt", {"other/d.mp3"}, "other/d.mp3"},
                      DropCase{"TheFirstFolderAmongThem", {"notes.txt", "other/d.mp3", "other", "music"}, "other/c.mp3"},
                      DropCase{"AFileOfAnotherKind", {"notes.txt"}, ""},
                      DropCase{"NothingThere", {"gone", "gone.mp3"}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A second start's path arrives as WM_COPYDATA: taken only when the record
// holds together, and then played; anything else is turned down unread.
TEST_F(MainWindowTest, AHandedOverPathIsCheckedOnArrivalThenPlayed)
{
    tree.makeFile("other/c.mp3");
    const std::wstring path = win::wide(tree.path("other"));
    auto send = [&](ULONG_PTR tag, const void* data, DWORD bytes) {
        COPYDATASTRUCT record{tag, bytes, const_cast<void*>(data)};
        return SendMessageW(window->hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record));
    };
    const DWORD whole = static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t));
    const std::wstring inner = path + L'\0' + L"x";
    const std::wstring tooLong(MostHandOverUnits + 1, L'a');
    EXPECT_EQ(send(HandOverTag + 1, path.c_str(), whole), FALSE) << "another tag";
    EXPECT_EQ(send(HandOverTag, path.c_str(), whole - sizeof(wchar_t)), FALSE) << "no terminator";
    EXPECT_EQ(send(HandOverTag, path.c_str(), whole - 1), FALSE) << "half a unit";
    EXPECT_EQ(send(HandOverTag, inner.c_str(), static_cast<DWORD>((inner.size() + 1) * sizeof(wchar_t))), FALSE)
        << "a terminator inside";
    EXPECT_EQ(send(HandOverTag, L"", sizeof(wchar_t)), FALSE) << "empty";
    EXPECT_EQ(send(HandOverTag, tooLong.c_str(), static_cast<DWORD>((tooLong.size() + 1) * sizeof(wchar_t))), FALSE)
        << "longer than any path";
    EXPECT_EQ(send(HandOverTag, nullptr, whole), FALSE) << "no data";
    EXPECT_FALSE(window->timer1Runs());
    EXPECT_EQ(window->controls().Text1(), music);

    // A second start finds this window as the running copy's. Handed over
    // before the window has played what its own start was given, its path
    // plays instead: it came later.
    EXPECT_EQ(StartGate::runningCopy(), window->hwnd());
    window->show(music);
    EXPECT_TRUE(StartGate::handOver(StartGate::runningCopy(), path));
    pump();
    ASSERT_TRUE(window->timer1Runs());
    SendMessageW(window->hwnd(), WM_TIMER, 1, 0);
    EXPECT_EQ(mm->opened(), std::vector<std::string>{tree.path("other/c.mp3")});
    // Later, it plays at once.
    click("cmdStop");
    mm->clear();
    EXPECT_TRUE(StartGate::handOver(window->hwnd(), win::wide(music)));
    SendMessageW(window->hwnd(), WM_TIMER, 1, 0);
    EXPECT_EQ(mm->opened(), std::vector<std::string>{tree.path("music/a.mp3")});
    click("cmdStop");
}


// A click of the mouse at a point of the screen: the system finds the window
// under the pointer itself.
void mouseClickAt(POINT at)
{
    SetCursorPos(at.x, at.y);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
    pump();
}

// A point of a shown window, this far from its top left corner; its centre
// by default.
POINT pointIn(HWND window, int dx = -1, int dy = -1)
{
    RECT r;
    GetWindowRect(window, &r);
    return dx < 0 ? POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2} : POINT{r.left + dx, r.top + dy};
}

// The pointer moved onto a point of the screen.
void mouseMoveTo(POINT at)
{
    SetCursorPos(at.x, at.y);
    pump();
}

TEST(SplashWindowTest, ACharacterOrAClickOnTheFrameShowsTheMainWindowButNotOneOnALabel)
{
    MemoryStore store;
    SettingsProvider settings(store.factory());
    for (const bool byKey : {true, false}) {
        int shown = 0;
        frmSplash splash(settings, [&] { ++shown; });
        splash.show();
        EXPECT_EQ(win::narrow(win::windowText(splash.frame().lblVersion)), "Version 3.0.0");
        mouseClickAt(pointIn(splash.frame().lblProductName));
        mouseClickAt(pointIn(splash.frame().imgLogo));
        EXPECT_EQ(shown, 0);
        if (byKey)
            SendMessageW(splash.hwnd(), WM_CHAR, VK_ESCAPE, 0);
        else
            mouseClickAt(pointIn(splash.frame().hwnd(), 10, 10)); // the background
        EXPECT_EQ(shown, 1);
        EXPECT_EQ(splash.hwnd(), nullptr);
    }
}

TEST(AboutWindowTest, TheLinkUnderlinesUnderThePointerAndTheBackgroundOrExitCloses)
{
    int closed = 0;
    frmAbout& about = frmAbout::showModeless([&] { ++closed; });
    EXPECT_EQ(&frmAbout::showModeless({}), &about); // one at a time
    const auto underlined = [&] {
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(about.lblURL, WM_GETFONT, 0, 0)), sizeof font, &font);
        return font.lfUnderline != 0;
    };
    EXPECT_FALSE(underlined());
    mouseMoveTo(pointIn(about.lblURL));
    EXPECT_TRUE(underlined());
    mouseMoveTo(pointIn(about.frame().lblProductName));
    EXPECT_TRUE(underlined()); // until the pointer crosses the background
    mouseMoveTo(pointIn(about.frame().hwnd(), 10, 10));
    EXPECT_FALSE(underlined());

    mouseClickAt(pointIn(about.frame().lblVersion));
    EXPECT_EQ(closed, 0);
    mouseClickAt(pointIn(about.frame().hwnd(), 10, 10));
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(frmAbout::instance(), nullptr);

    frmAbout& again = frmAbout::showModeless([&] { ++closed; });
    SendMessageW(again.cmdExit, BM_CLICK, 0, 0);
    EXPECT_EQ(closed, 2);
}

// The About window as its own class, the web page recorded instead of opened.
class RecordingAbout : public frmAbout {
public:
    using frmAbout::frmAbout;
    std::vector<std::string> opened;

private:
    void openWebPage(const std::string& address) override { opened.push_back(address); }
};

void key(HWND target, WPARAM virtualKey)
{
    MSG message{target, WM_KEYDOWN, virtualKey, 1, 0, {}};
    dispatchMessage(message);
    pump();
}

// The link is reached by Tab and opened by Enter, Space or a screen reader;
// Escape closes the window; the startup and About windows are named.
TEST(AboutWindowTest, KeyboardAndScreenReadersReachTheLinkAndEscapeCloses)
{
    int closed = 0;
    RecordingAbout about([&] { ++closed; });
    ShowWindow(about.hwnd(), SW_SHOWNORMAL);
    SetFocus(about.cmdExit);
    key(about.cmdExit, VK_TAB);
    EXPECT_EQ(GetFocus(), about.lblURL);
    key(about.lblURL, VK_RETURN);
    key(about.lblURL, VK_SPACE);
    const Accessible link(about.lblURL);
    EXPECT_EQ(link.role(), ROLE_SYSTEM_LINK);
    EXPECT_EQ(link.name(), "WebSite");
    EXPECT_TRUE(link.press());
    EXPECT_EQ(about.opened, std::vector<std::string>(3, ProductWebPage));
    EXPECT_EQ(Accessible(about.frame().imgLogo).name(), "Orvane");
    EXPECT_EQ(Accessible(about.cmdExit).role(), ROLE_SYSTEM_PUSHBUTTON);
    EXPECT_EQ(closed, 0);
    key(about.lblURL, VK_ESCAPE);
    EXPECT_EQ(closed, 1);

    MemoryStore store;
    SettingsProvider settings(store.factory());
    frmSplash splash(settings, [] {});
    EXPECT_EQ(Accessible(splash.hwnd()).name(), "MP3 Orvane");
}

// The logo is the icon's image nearest its box at the window's DPI, drawn
// at its own size, as scaling up blurs; only an image larger than the box is
// scaled, down.
TEST(ProductFrameTest, TheLogoIsTheIconImageNearestItsBoxAtTheDpi)
{
    const std::vector<int> sizes{16, 24, 32, 48, 64, 96, 128, 256};
    EXPECT_EQ(win::logoSizeFor(108, sizes), 96);
    EXPECT_EQ(win::logoSizeFor(162, sizes), 128);
    EXPECT_EQ(win::logoSizeFor(125, sizes), 125) << "128 scaled down";
    EXPECT_EQ(win::logoSizeFor(40, sizes), 40) << "of 32 and 48, the larger";
    EXPECT_EQ(win::logoSizeFor(100, {}), 100);

    MemoryStore store;
    SettingsProvider settings(store.factory());
    frmSplash splash(settings, [] {});
    // Its box is 108 pixels high at 96 dpi, 162 at 144.
    for (const auto& [dpi, size] : {std::pair{96u, 96}, std::pair{144u, 128}}) {
        splash.frame().place(dpi);
        EXPECT_EQ(splash.frame().logoSize(), size) << dpi;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(splash.frame().logo(), &info));
        BITMAP bitmap{};
        GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, size) << dpi;
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
}

// The tray images beside the executable, or the copies built into it.
TEST(TrayPicturesTest, FilesBesideTheProgramElseTheBuiltInCopies)
{
    test::TempTree folder;
    {
        std::ifstream real(ORVANE_SOURCE_DIR "/resources/icons/Volume03.ico", std::ios::binary);
        ASSERT_TRUE(real);
        std::ofstream(folder.fsPath("Volume03.ico"), std::ios::binary) << real.rdbuf();
    }
    folder.makeFile("Volume02.ico", "not an icon at all");
    TrayPictures pictures(win::wide(folder.path()));

    const IconHandle fromFile = pictures.load("Volume03.ico");
    const IconHandle junk = pictures.load("Volume02.ico");
    TrayPictures elsewhere(win::wide(folder.path("missing")));
    const IconHandle missing = elsewhere.load("Volume03.ico");
    for (const TrayPictures::Picture* p : {pictures.picture(fromFile), pictures.picture(junk), elsewhere.picture(missing)}) {
        ASSERT_NE(p, nullptr);
        EXPECT_NE(p->small, nullptr);
        EXPECT_NE(p->large, nullptr);
    }
    EXPECT_TRUE(pictures.picture(fromFile)->fromFile);
    EXPECT_FALSE(pictures.picture(junk)->fromFile);
    EXPECT_FALSE(elsewhere.picture(missing)->fromFile);

    EXPECT_NE(fromFile, junk);
    pictures.release(junk);
    EXPECT_EQ(pictures.picture(junk), nullptr);
    EXPECT_EQ(pictures.loadedCount(), 1u);
}


// The menu's items as a screen reader's menu proxy reads them (MSAA names a
// menu item by its text, less the "&", and chooses it by the letter after
// the "&"): every item is text, none drawn by the program, and the letter
// of each chooses it alone. Wine's accessibility library has no menu proxy
// (the shown menu is a plain client object without children), so where one
// is there the names are read through it too.
TEST_F(MainWindowTest, ScreenReadersReadEveryMenuItem)
{
    const auto itemsOf = [](HMENU menu) {
        std::vector<std::string> texts;
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            wchar_t text[64] = {};
            MENUITEMINFOW info{};
            info.cbSize = sizeof info;
            info.fMask = MIIM_FTYPE | MIIM_STRING;
            info.dwTypeData = text;
            info.cch = std::size(text);
            EXPECT_TRUE(GetMenuItemInfoW(menu, i, TRUE, &info));
            EXPECT_EQ(info.fType & (MFT_OWNERDRAW | MFT_BITMAP), 0u) << i;
            texts.push_back(info.fType & MFT_SEPARATOR ? "-" : win::narrow(text));
        }
        return texts;
    };
    const HMENU popup = window->popupMenu();
    const std::vector<std::string> items = itemsOf(popup);
    EXPECT_EQ(items, (std::vector<std::string>{"&Play", "P&ause", "S&kip", "S&top", "-", "Shuffle &Folders",
                                               "&Even Loudness", "-", "&Back 10 s", "F&orward 30 s", "S&leep", "-",
                                               "&Settings", "-", "&About", "-", "E&xit"}));
    // A letter chooses its item alone; "P&ause" and "&About" share theirs,
    // as they always have.
    const auto letterOf = [](const std::string& text) {
        const auto amp = text.find('&');
        return amp == std::string::npos ? '\0' : static_cast<char>(std::tolower(static_cast<unsigned char>(text[amp + 1])));
    };
    for (const std::string& text : items) {
        if (text == "-" || text == "P&ause" || text == "&About")
            continue;
        EXPECT_EQ(std::count_if(items.begin(), items.end(), [&](const std::string& t) { return letterOf(t) == letterOf(text); }), 1)
            << text;
    }
    EXPECT_EQ(itemsOf(GetSubMenu(popup, 10)),
              (std::vector<std::string>{"15 minutes", "30 minutes", "45 minutes", "60 minutes", "90 minutes",
                                        "End of this file", "End of this folder", "Off"}));

    // The shown menu through MSAA.
    ShowWindow(window->hwnd(), SW_SHOWNORMAL);
    static std::vector<std::string> read;
    static long role;
    read.clear();
    role = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) {
        const HWND menu = FindWindowW(L"#32768", nullptr);
        if (!menu || !IsWindowVisible(menu))
            return;
        const Accessible shown(menu);
        role = shown.role();
        for (long i = 1; i <= shown.childCount(); ++i)
            read.push_back(shown.name(i));
        EndMenu();
    });
    SendMessageW(window->hwnd(), WM_CONTEXTMENU, 0, -1);
    KillTimer(nullptr, timer);
    pump();
    if (role == ROLE_SYSTEM_CLIENT && read.empty())
        return; // no menu proxy
    EXPECT_EQ(role, ROLE_SYSTEM_MENUPOPUP);
    ASSERT_EQ(read.size(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::string spoken = items[i] == "-" ? "" : items[i];
        spoken.erase(std::remove(spoken.begin(), spoken.end(), '&'), spoken.end());
        EXPECT_EQ(read[i], spoken) << i;
    }
}

} // namespace
} // namespace orvane
