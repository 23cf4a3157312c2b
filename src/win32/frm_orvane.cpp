#include "win32/frm_orvane.h"

#include "desktop/mod_browse.h"
#include "resource_ids.h"
#include "win32/win_accessible.h"
#include "win32/win_start.h"

#include <oleacc.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windowsx.h>

#include <cstddef>
#include <cstring>
#include <iterator>
#include <utility>

namespace orvane {

namespace {

constexpr int kFirstControlId = 100;
constexpr int kFirstMenuId = 300;
constexpr int kFirstSleepId = 400; // the Sleep submenu's items
constexpr int kFirstSeekId = 420;  // Back and Forward
constexpr UINT_PTR kTimer1 = 1;
// Posted once the window is on screen: a sequence the program was ended in
// plays on by itself, or what this start was given plays.
constexpr UINT kPlayOnMessage = WM_APP + 20;
// Posted when what plays has changed: the tray icon shows its new tip once
// the command of the moment is over (a tray command makes the icon anew).
constexpr UINT kShowTipMessage = WM_APP + 21;
// Posted when a second start has asked for the folder dialog.
constexpr UINT kChooseFolderMessage = WM_APP + 22;
// The tray's tip field holds this many characters and its terminator.
constexpr std::size_t kTipUnits = std::size(NOTIFYICONDATAW{}.szTip) - 1;

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

DWORD styleOf(layout::Kind kind)
{
    switch (kind) {
    case layout::Kind::Heading: return SS_CENTER | SS_NOPREFIX;
    case layout::Kind::TextBox: return WS_TABSTOP | ES_AUTOHSCROLL;
    case layout::Kind::Button: return WS_TABSTOP | BS_PUSHBUTTON;
    // A click only ever selects; which of the pair is selected is the
    // player's business, and at start-up neither is.
    case layout::Kind::Option: return WS_TABSTOP | BS_RADIOBUTTON;
    case layout::Kind::CheckBox: return WS_TABSTOP | BS_AUTOCHECKBOX;
    }
    return 0;
}

const wchar_t* classOf(layout::Kind kind)
{
    switch (kind) {
    case layout::Kind::Heading: return L"STATIC";
    case layout::Kind::TextBox: return L"EDIT";
    default: return L"BUTTON";
    }
}

// A line as a sunken etched edge, two pixels across, centred on its points.
RECT lineRect(const win::TwipsScale& tw, const layout::TwipsLine& line)
{
    const int x1 = tw.px(line.from.x);
    const int y1 = tw.px(line.from.y);
    if (line.from.y == line.to.y)
        return RECT{x1, y1 - 1, tw.px(line.to.x) + 1, y1 + 1};
    return RECT{x1 - 1, y1, x1 + 1, tw.px(line.to.y) + 1};
}

bool endsWithMp3(const std::wstring& path)
{
    return path.size() > 4 && CompareStringOrdinal(path.c_str() + path.size() - 4, 4, L".mp3", 4, TRUE) == CSTR_EQUAL;
}

// What a drop plays: the first folder among the items, else the first
// ".mp3" file (its folder from that file); nothing for anything else.
std::optional<std::wstring> droppedPath(HDROP drop)
{
    std::optional<std::wstring> file;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0), L'\0');
        if (path.empty() || DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size() + 1)) != path.size())
            continue;
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            continue;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return path;
        if (!file && endsWithMp3(path))
            file = std::move(path);
    }
    return file;
}

} // namespace

frmOrvane::frmOrvane(std::unique_ptr<MMControl> mmControl, std::unique_ptr<FileSystem> fileSystem,
                     SettingsProvider& settings, Hooks hooks)
    : UiHostHolder(std::make_unique<WinUiHost>([this] { return hwnd(); }, hooks.messageBoxClosed))
    , MainForm(std::move(mmControl), std::move(fileSystem), std::move(uiHost), settings, hooks.reads)
    , hooks_(std::move(hooks))
{
    const HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_ORVANE));
    create(L"OrvaneMain", WS_EX_CONTROLPARENT, kWindowStyle, win::wide(Caption),
           RECT{CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT}, nullptr, icon);
    wantDialogKeys(hwnd());
    wantSeekKeys(hwnd());
    buildControls();
    buildPopupMenu();
    placeControls(win::windowDpi(hwnd()));

    pictures_ = std::make_unique<TrayPictures>();
    trayPlatform_ = std::make_unique<WinTrayPlatform>(*pictures_);
    SysTrayModule& module = modSysTray::module();
    module.setPlatform(trayPlatform_.get());
    tray_ = std::make_unique<SysTrayHandlers>(hwnd(), RCPopup, [this] { return player().Paused; },
                                              hooks_.showAbout, module, *pictures_);
    attachTray(tray_.get());

    mirrorConnection_ = controls().changes().connect([this](Ctl c) {
        mirror(c);
        showSeekable();
        describePlayback();
    });
    hearing_ = player().nowPlayingChanged().connect([this] {
        showSeekable();
        describePlayback();
    });
    sleeping_ = player().sleepChanged().connect([this] {
        showSleepChoice();
        describePlayback();
    });
    mirrorAll();
    showSeekable();
    describeControls();
    hotKeys_.hold(hwnd());
    DragAcceptFiles(hwnd(), TRUE);
    Form_Load();
}

frmOrvane::~frmOrvane()
{
    hotKeys_.release(hwnd());
    controls().changes().disconnect(mirrorConnection_);
    player().nowPlayingChanged().disconnect(hearing_);
    player().sleepChanged().disconnect(sleeping_);
    attachTray(nullptr);
    tray_.reset();
    if (modSysTray::module().platform() == trayPlatform_.get())
        modSysTray::module().setPlatform(nullptr);
    if (RCPopup)
        DestroyMenu(RCPopup);
}

void frmOrvane::buildControls()
{
    // Created in tab order, so focus moves as the layout reads; the options'
    // group just before them, where screen readers look for it.
    const char* heading = "";
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        const layout::Control& c = layout::MainControls[i];
        heading = c.kind == layout::Kind::Heading ? c.caption : heading;
        if (c.kind == layout::Kind::Option && !fraOrder_)
            fraOrder_ = win::createGrouping(hwnd(), win::wide(heading));
        const DWORD exStyle = c.kind == layout::Kind::TextBox ? WS_EX_CLIENTEDGE : 0;
        controls_[i] = win::createControl(hwnd(), classOf(c.kind), win::wide(c.caption), styleOf(c.kind),
                                          kFirstControlId + static_cast<int>(i), exStyle);
    }
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const bool across = layout::MainLines[i].from.y == layout::MainLines[i].to.y;
        lines_[i] = win::createControl(hwnd(), L"STATIC", L"", across ? SS_ETCHEDHORZ : SS_ETCHEDVERT, 0);
    }
}

// What a screen reader says beside the captions the window shows: the play
// path box by the heading before it, and each button by its kind, which
// every reader then tells alike (Wine's accessible objects call them all
// "client"); "Date" and "Name" as the one choice they are, although neither
// clears the other by itself.
void frmOrvane::describeControls()
{
    const char* heading = "";
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        const layout::Control& c = layout::MainControls[i];
        win::AccessibleFacts facts;
        switch (c.kind) {
        case layout::Kind::Heading: heading = c.caption; continue;
        case layout::Kind::TextBox: facts.name = win::wide(heading); break;
        case layout::Kind::Button: facts.role = ROLE_SYSTEM_PUSHBUTTON; break;
        case layout::Kind::Option: facts.role = ROLE_SYSTEM_RADIOBUTTON; break;
        case layout::Kind::CheckBox: facts.role = ROLE_SYSTEM_CHECKBUTTON; break;
        }
        win::setAccessibleFacts(controls_[i], std::move(facts));
    }
    // The divider lines are separators, which readers pass over.
    for (const HWND line : lines_) {
        win::AccessibleFacts facts;
        facts.role = ROLE_SYSTEM_SEPARATOR;
        win::setAccessibleFacts(line, std::move(facts));
    }
}

namespace {

std::string fileName(const std::string& path)
{
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

// The title the media control read from the file, else the file's name:
// what the window tells a screen reader, and the tray icon's tip. Each
// changes only when what plays does.
void frmOrvane::describePlayback()
{
    const MMControl::NowPlaying now = mmControl().nowPlaying();
    const std::string title = !now.title.empty() ? now.title : fileName(now.path.empty() ? player().playing() : now.path);
    setTrayTip(title, kTipUnits);
    if (hwnd() && !std::exchange(tipQueued_, true))
        PostMessageW(hwnd(), kShowTipMessage, 0, 0);
    std::string text = playbackDescription(title);
    if (text == description_)
        return;
    description_ = std::move(text);
    if (hwnd())
        win::descriptionChanged(hwnd());
}

void frmOrvane::buildPopupMenu()
{
    RCPopup = CreatePopupMenu();
    for (std::size_t i = 0; i < std::size(layout::PopupMenu); ++i) {
        const layout::MenuItem& item = layout::PopupMenu[i];
        if (std::strcmp(item.caption, "-") == 0)
            AppendMenuW(RCPopup, MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuW(RCPopup, MF_STRING, kFirstMenuId + i, win::wide(item.caption).c_str());
    }
    // Before Settings, after Stop and its separator: Back, Forward, Sleep.
    const UINT before = static_cast<UINT>(menuId("mnuSettings"));
    for (std::size_t i = 0; i < std::size(layout::SeekMenu); ++i)
        InsertMenuW(RCPopup, before, MF_BYCOMMAND | MF_STRING, kFirstSeekId + i, win::wide(layout::SeekMenu[i].caption).c_str());
    sleepMenu_ = CreatePopupMenu();
    for (std::size_t i = 0; i < std::size(SleepMenu); ++i)
        AppendMenuW(sleepMenu_, MF_STRING, kFirstSleepId + i, win::wide(SleepMenu[i].caption).c_str());
    InsertMenuW(RCPopup, before, MF_BYCOMMAND | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sleepMenu_),
                win::wide(SleepMenuCaption).c_str());
    InsertMenuW(RCPopup, before, MF_BYCOMMAND | MF_SEPARATOR, 0, nullptr);
    showSleepChoice();
}

// The choice the sleep runs with has the radio mark; Off when none.
void frmOrvane::showSleepChoice()
{
    for (std::size_t i = 0; i < std::size(SleepMenu); ++i) {
        if (SleepMenu[i].choice == player().sleep().choice())
            CheckMenuRadioItem(sleepMenu_, kFirstSleepId, kFirstSleepId + static_cast<UINT>(std::size(SleepMenu)) - 1,
                               kFirstSleepId + static_cast<UINT>(i), MF_BYCOMMAND);
    }
}

// Back and Forward are offered only while the file heard can be moved
// within, as the desktop's media control offers its seek on the other
// program. The media control may find out late (a stream opened, a device
// lost), so the menu asks again each time it opens.
void frmOrvane::showSeekable()
{
    const UINT state = MF_BYCOMMAND | (player().canSeek() ? MF_ENABLED : MF_GRAYED);
    for (const layout::MenuItem& item : layout::SeekMenu)
        EnableMenuItem(RCPopup, static_cast<UINT>(menuId(item.name)), state);
}

// The tray's menu on the window itself: a right click in its client area
// (the play path box keeps its own menu of editing commands, and the title
// bar the system menu), or the Menu key or Shift+F10 (at: -1), by the
// control that has the focus. False where the default handling follows.
bool frmOrvane::showContextMenu(LPARAM at)
{
    POINT point{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (at == -1) {
        RECT r{};
        const HWND focus = GetFocus();
        GetWindowRect(focus && IsChild(hwnd(), focus) ? focus : hwnd(), &r);
        point = POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    } else {
        RECT client{};
        GetClientRect(hwnd(), &client);
        POINT inside = point;
        ScreenToClient(hwnd(), &inside);
        if (!PtInRect(&client, inside))
            return false;
    }
    showPopupMenuAt(hwnd(), RCPopup, point);
    return true;
}

void frmOrvane::placeControls(UINT dpi)
{
    const win::TwipsScale tw(dpi);
    win::setClientSize(hwnd(), tw.px(layout::MainClient.width), tw.px(layout::MainClient.height), dpi);
    font_.reset(win::makeFont(layout::MainFont, dpi));
    headingFont_.reset(win::makeFont({layout::MainFont.face, layout::MainFont.points, true}, dpi, true));
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        const layout::Control& c = layout::MainControls[i];
        const HFONT font = c.kind == layout::Kind::Heading ? headingFont_.get() : font_.get();
        SendMessageW(controls_[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        win::moveWindow(controls_[i], tw.rect(c.rect));
    }
    for (std::size_t i = 0; i < lines_.size(); ++i)
        win::moveWindow(lines_[i], lineRect(tw, layout::MainLines[i]));
    win::placeGrouping(fraOrder_, {control("optDate"), control("optName")});
    InvalidateRect(hwnd(), nullptr, TRUE);
}

HWND frmOrvane::control(std::string_view name) const
{
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (name == layout::MainControls[i].name)
            return controls_[i];
    }
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (name == layout::MainLines[i].name)
            return lines_[i];
    }
    return name == "fraOrder" ? fraOrder_ : nullptr;
}

int frmOrvane::menuId(std::string_view name)
{
    for (std::size_t i = 0; i < std::size(layout::PopupMenu); ++i) {
        if (name == layout::PopupMenu[i].name)
            return kFirstMenuId + static_cast<int>(i);
    }
    for (std::size_t i = 0; i < std::size(layout::SeekMenu); ++i) {
        if (name == layout::SeekMenu[i].name)
            return kFirstSeekId + static_cast<int>(i);
    }
    for (std::size_t i = 0; i < std::size(SleepMenu); ++i) {
        if (name == SleepMenu[i].name)
            return kFirstSleepId + static_cast<int>(i);
    }
    return 0;
}

void frmOrvane::show(std::optional<std::string> given, bool chooseFolder)
{
    given_ = std::move(given);
    chooseAtStart_ = chooseFolder;
    ShowWindow(hwnd(), SW_SHOWNORMAL);
    SetForegroundWindow(hwnd());
    SetFocus(control("Text1"));
    PostMessageW(hwnd(), kPlayOnMessage, 0, 0);
}

// Each message the window answers itself, with what it runs.
const frmOrvane::MessageHandler frmOrvane::MessageHandlers[] = {
    {WM_COMMAND, [](frmOrvane& f, WPARAM w, LPARAM) -> Answer {
         f.command(LOWORD(w), HIWORD(w));
         return 0;
     }},
    {WM_TIMER, [](frmOrvane& f, WPARAM w, LPARAM) -> Answer {
         if (w == kTimer1)
             f.player().Timer1_Timer();
         return 0;
     }},
    {WM_SIZE, [](frmOrvane& f, WPARAM, LPARAM) -> Answer {
         f.Form_Resize();
         return std::nullopt;
     }},
    {kPlayOnMessage, [](frmOrvane& f, WPARAM, LPARAM) -> Answer {
         f.started_ = true;
         if (f.given_ || !f.chooseAtStart_)
             f.playAtStart(std::exchange(f.given_, std::nullopt));
         else
             f.playFolderChosen();
         return 0;
     }},
    {kChooseFolderMessage, [](frmOrvane& f, WPARAM, LPARAM) -> Answer {
         f.playFolderChosen();
         return 0;
     }},
    {kShowTipMessage, [](frmOrvane& f, WPARAM, LPARAM) -> Answer {
         f.tipQueued_ = false;
         f.showTrayTip();
         return 0;
     }},
    // A second start hands over what it was given; the path is checked
    // before anything is made of it.
    {WM_COPYDATA, [](frmOrvane& f, WPARAM, LPARAM l) -> Answer {
         const auto* record = reinterpret_cast<const COPYDATASTRUCT*>(l);
         if (record && record->dwData == ChooseFolderTag && record->cbData == 0 && !f.isUnloaded()) {
             // The dialog waits for the user: not inside the second start's call.
             PostMessageW(f.hwnd(), kChooseFolderMessage, 0, 0);
             return TRUE;
         }
         const auto path = handedOverPath(record);
         if (!path || f.isUnloaded())
             return FALSE;
         if (f.started_)
             f.playRequested(win::narrow(*path));
         else
             f.given_ = win::narrow(*path); // handed over later than this start's own
         return TRUE;
     }},
    {WM_DROPFILES, [](frmOrvane& f, WPARAM w, LPARAM) -> Answer {
         f.takeDrop(reinterpret_cast<HDROP>(w));
         return 0;
     }},
    {WinUiHost::TickMessage, [](frmOrvane& f, WPARAM, LPARAM) -> Answer {
         f.UiHostHolder::ui->runTick();
         return 0;
     }},
    {WinUiHost::PostedMessage, [](frmOrvane& f, WPARAM, LPARAM) -> Answer {
         f.UiHostHolder::ui->runPosted();
         return 0;
     }},
    {SysTrayHandlers::HideMinimisedMessage, [](frmOrvane& f, WPARAM, LPARAM) -> Answer {
         f.tray_->hideIfInTray();
         return 0;
     }},
    {WM_GETOBJECT, [](frmOrvane& f, WPARAM w, LPARAM l) -> Answer {
         win::AccessibleFacts facts;
         facts.description = [&f] { return win::wide(f.description_); };
         if (const LRESULT answer = win::answerGetObject(f.hwnd(), w, l, facts))
             return answer;
         return std::nullopt;
     }},
    // Also the number of the tray's notifications that the hook passes on
    // (moves, left clicks, the release): none of them does anything. On the
    // window on screen it is the right button's release, which asks for the
    // context menu.
    {WM_INITMENUPOPUP, [](frmOrvane& f, WPARAM w, LPARAM) -> Answer {
         if (reinterpret_cast<HMENU>(w) == f.RCPopup)
             f.showSeekable();
         return std::nullopt;
     }},
    {WM_RBUTTONUP, [](frmOrvane& f, WPARAM, LPARAM) -> Answer {
         if (f.tray_->inTray())
             return 0;
         return std::nullopt;
     }},
    {WM_CONTEXTMENU, [](frmOrvane& f, WPARAM, LPARAM l) -> Answer {
         if (f.showContextMenu(l))
             return 0;
         return std::nullopt;
     }},
    {WM_SETCURSOR, [](frmOrvane& f, WPARAM, LPARAM l) -> Answer {
         if (LOWORD(l) == HTCLIENT && f.UiHostHolder::ui->setCursorFor(f.hwnd()))
             return TRUE;
         return std::nullopt;
     }},
    {WM_DPICHANGED, [](frmOrvane& f, WPARAM w, LPARAM l) -> Answer {
         const auto* suggested = reinterpret_cast<const RECT*>(l);
         SetWindowPos(f.hwnd(), nullptr, suggested->left, suggested->top, 0, 0,
                      SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
         f.placeControls(HIWORD(w));
         return 0;
     }},
    {SeekKeyMessage, [](frmOrvane& f, WPARAM forward, LPARAM) -> Answer {
         if (forward)
             f.seekForward();
         else
             f.seekBack();
         return 0;
     }},
    {WM_HOTKEY, [](frmOrvane& f, WPARAM w, LPARAM) -> Answer {
         if (const auto key = f.hotKeys_.hotKey(w))
             f.mediaKey(*key);
         return 0;
     }},
    {WM_APPCOMMAND, [](frmOrvane& f, WPARAM, LPARAM l) -> Answer {
         const auto key = f.hotKeys_.appCommand(GET_APPCOMMAND_LPARAM(l));
         if (!key)
             return std::nullopt;
         f.mediaKey(*key);
         return TRUE;
     }},
    // Asked from outside while in the tray (by an installer, say): the icon
    // goes too, as on Exit.
    {WM_CLOSE, [](frmOrvane& f, WPARAM, LPARAM) -> Answer {
         if (!f.tray_->inTray())
             return std::nullopt;
         f.mnuExit_Click();
         return 0;
     }},
    // The session ends and the process with it, right after this message:
    // the unload of a close, which stores the settings; the next start plays
    // on by itself.
    {WM_ENDSESSION, [](frmOrvane& f, WPARAM w, LPARAM) -> Answer {
         if (w) {
             f.sessionEnds();
             f.Form_Unload();
         }
         return 0;
     }},
    {WM_DESTROY, [](frmOrvane& f, WPARAM, LPARAM) -> Answer {
         f.hotKeys_.release(f.hwnd());
         f.Form_Unload();
         return 0;
     }},
};

void frmOrvane::takeDrop(HDROP drop)
{
    const std::optional<std::wstring> path = droppedPath(drop);
    DragFinish(drop);
    if (path)
        playRequested(win::narrow(*path));
}

LRESULT frmOrvane::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    for (const MessageHandler& h : MessageHandlers) {
        if (h.message != message)
            continue;
        if (const Answer answer = h.run(*this, wParam, lParam))
            return *answer;
        break;
    }
    return Window::handle(message, wParam, lParam);
}

void frmOrvane::command(int id, int notification)
{
    const int index = id - kFirstControlId;
    if (index >= 0 && index < static_cast<int>(controls_.size())) {
        const char* name = layout::MainControls[index].name;
        if (layout::MainControls[index].kind == layout::Kind::TextBox) {
            // Typed by the user; the mirror's own changes are not events.
            if (notification == EN_CHANGE && !mirroring_)
                Text1_Change(win::narrow(win::windowText(controls_[index])));
        } else if (notification == BN_CLICKED) {
            click(name, SendMessageW(controls_[index], BM_GETCHECK, 0, 0) == BST_CHECKED);
        }
        return;
    }
    if (const int sleep = id - kFirstSleepId; sleep >= 0 && sleep < static_cast<int>(std::size(SleepMenu))) {
        click(SleepMenu[sleep].name);
        return;
    }
    if (const int seek = id - kFirstSeekId; seek >= 0 && seek < static_cast<int>(std::size(layout::SeekMenu))) {
        click(layout::SeekMenu[seek].name);
        return;
    }
    const int item = id - kFirstMenuId;
    if (item < 0 || item >= static_cast<int>(std::size(layout::PopupMenu)))
        return;
    // A check item's choice turns its mark round, as a check box's click does.
    const layout::MenuItem& chosen = layout::PopupMenu[item];
    const bool marked = (GetMenuState(RCPopup, static_cast<UINT>(id), MF_BYCOMMAND) & MF_CHECKED) != 0;
    click(chosen.name, chosen.check && !marked);
}

// A menu item follows its enabled state only; the window's controls also
// show their values.
void frmOrvane::mirror(Ctl c)
{
    const ControlModel& m = controls();
    const bool on = m.enabled(c);
    const std::string_view name = ctlName(c);
    mirroring_ = true;
    if (c == Ctl::Timer1) {
        if (timer1Runs() && !timerRunning_)
            timerRunning_ = SetTimer(hwnd(), kTimer1, Timer1IntervalMs, nullptr) != 0;
        else if (!timer1Runs())
            stopTimer1();
    } else if (const int item = menuId(name)) {
        EnableMenuItem(RCPopup, static_cast<UINT>(item), MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
        if (layout::PopupMenu[item - kFirstMenuId].check)
            CheckMenuItem(RCPopup, static_cast<UINT>(item), MF_BYCOMMAND | (m.checked(c) ? MF_CHECKED : MF_UNCHECKED));
    } else if (const HWND h = control(name)) {
        enableControl(h, on);
        if (c == Ctl::ckRepeat || c == Ctl::ckSub || c == Ctl::optDate || c == Ctl::optName) {
            SendMessageW(h, BM_SETCHECK, m.checked(c) ? BST_CHECKED : BST_UNCHECKED, 0);
        } else if (c == Ctl::Text1) {
            // Only text that differs is put back, so typing keeps its caret.
            const std::wstring text = win::wide(m.Text1());
            if (win::windowText(h) != text)
                SetWindowTextW(h, text.c_str());
        }
    }
    mirroring_ = false;
}

void frmOrvane::mirrorAll()
{
    for (std::size_t i = 0; i < static_cast<std::size_t>(Ctl::Count); ++i)
        mirror(static_cast<Ctl>(i));
}

// Focus on a control that goes grey moves on to the next one, as in a
// dialog, so the keyboard keeps working.
void frmOrvane::enableControl(HWND h, bool on)
{
    if (!on && GetFocus() == h) {
        if (const HWND next = GetNextDlgTabItem(hwnd(), h, FALSE); next && next != h)
            SetFocus(next);
    }
    EnableWindow(h, on ? TRUE : FALSE);
}

bool frmOrvane::holdsHotKey(MediaKey key) const
{
    return hotKeys_.holds(key);
}

// SHBrowseForFolderW from the top of the shell namespace; only file-system
// folders can be accepted.
std::string frmOrvane::showFolderDialog()
{
    const std::wstring title = win::wide(modBrowse::BrowseTitle);
    BROWSEINFOW info{};
    info.hwndOwner = hwnd();
    info.pidlRoot = nullptr;
    info.pszDisplayName = nullptr;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    wchar_t path[512] = {};
    const bool hasPath = chosen && SHGetPathFromIDListW(chosen, path);
    if (chosen)
        CoTaskMemFree(chosen);
    return hasPath ? win::narrow(path) : std::string();
}

void frmOrvane::closeWindow()
{
    if (hwnd())
        DestroyWindow(hwnd());
}

void frmOrvane::stopTimer1()
{
    if (timerRunning_ && hwnd())
        KillTimer(hwnd(), kTimer1);
    timerRunning_ = false;
}

void frmOrvane::afterUnload()
{
    if (hooks_.unloaded)
        hooks_.unloaded();
}

} // namespace orvane
