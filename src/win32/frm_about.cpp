#include "win32/frm_about.h"

#include "resource_ids.h"
#include "win32/win_accessible.h"
#include "win32/win_ui_host.h"

#include <commctrl.h>
#include <oleacc.h>
#include <shellapi.h>

namespace orvane {

namespace {

std::unique_ptr<frmAbout>& openAbout()
{
    static std::unique_ptr<frmAbout> window;
    return window;
}

constexpr COLORREF kBlue = RGB(0, 0, 255);

} // namespace

frmAbout::frmAbout(std::function<void()> closed)
    : closed_(std::move(closed))
{
    const HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_ORVANE));
    create(L"OrvaneAbout", WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
           win::wide(layout::AboutCaption), RECT{CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT},
           nullptr, icon);
    wantDialogKeys(hwnd());
    Frame1 = std::make_unique<win::ProductFrame>(hwnd(), layout::AboutFrame);
    Frame1->setTextColour(kBlue);
    lblURL = win::createControl(Frame1->hwnd(), L"STATIC", win::wide(layout::AboutLinkText),
                                WS_TABSTOP | SS_CENTER | SS_NOTIFY | SS_NOPREFIX, 0);
    SetWindowSubclass(lblURL, linkProc, 0, reinterpret_cast<DWORD_PTR>(this));
    win::AccessibleFacts link;
    link.role = ROLE_SYSTEM_LINK;
    link.press = [this] { lblURL_Click(); };
    link.pressName = L"Jump";
    win::setAccessibleFacts(lblURL, std::move(link));
    cmdExit = win::createControl(Frame1->hwnd(), L"BUTTON", win::wide(layout::AboutExitCaption),
                                 WS_TABSTOP | BS_PUSHBUTTON, 0);
    win::AccessibleFacts exit;
    exit.role = ROLE_SYSTEM_PUSHBUTTON;
    win::setAccessibleFacts(cmdExit, std::move(exit));

    Frame1->onBackgroundClick = [this] { Frame1_Click(); };
    Frame1->onBackgroundMouseMove = [this] { Frame1_MouseMove(); };
    Frame1->onControlMouseMove = [this](HWND control) {
        if (control == lblURL)
            lblURL_MouseMove();
    };
    Frame1->onCommand = [this](HWND control, int notification) {
        if (control == cmdExit && notification == BN_CLICKED)
            cmdExit_Click();
        else if (control == lblURL && notification == STN_CLICKED)
            lblURL_Click();
    };
    placeControls(win::windowDpi(hwnd()));
    Form_Load();
}

frmAbout& frmAbout::showModeless(std::function<void()> closed)
{
    std::unique_ptr<frmAbout>& window = openAbout();
    if (!window || !window->hwnd())
        window = std::make_unique<frmAbout>(std::move(closed));
    ShowWindow(window->hwnd(), SW_SHOWNORMAL);
    SetForegroundWindow(window->hwnd());
    return *window;
}

frmAbout* frmAbout::instance()
{
    frmAbout* window = openAbout().get();
    return window && window->hwnd() ? window : nullptr;
}

void frmAbout::placeControls(UINT dpi)
{
    const win::TwipsScale tw(dpi);
    win::setClientSize(hwnd(), tw.px(layout::AboutFrame.client.width), tw.px(layout::AboutFrame.client.height), dpi);
    Frame1->place(dpi);

    linkFont_.reset(win::makeFont(layout::AboutLinkFont, dpi));
    linkUnderlinedFont_.reset(win::makeFont(layout::AboutLinkFont, dpi, true));
    buttonFont_.reset(win::makeFont(layout::MainFont, dpi));
    showLinkUnderline(linkUnderlined());
    SendMessageW(cmdExit, WM_SETFONT, reinterpret_cast<WPARAM>(buttonFont_.get()), TRUE);
    win::moveWindow(cmdExit, tw.rect(layout::AboutExit));

    // The link only as wide as its word, centred across the frame.
    const SIZE size = win::textSize(lblURL, linkUnderlinedFont_.get(), win::wide(layout::AboutLinkText));
    const int frameWidth = tw.px(layout::AboutFrame.frame.width);
    const int left = (frameWidth - size.cx) / 2;
    const int top = tw.px(layout::AboutLinkTop);
    win::moveWindow(lblURL, RECT{left, top, left + size.cx, top + size.cy});
}

void frmAbout::showVersion(const std::string& caption)
{
    Frame1->showVersion(caption);
}

void frmAbout::showLinkUnderline(bool on)
{
    SendMessageW(lblURL, WM_SETFONT, reinterpret_cast<WPARAM>(on ? linkUnderlinedFont_.get() : linkFont_.get()), TRUE);
}

void frmAbout::closeWindow()
{
    if (hwnd())
        DestroyWindow(hwnd());
}

// The shell starts the user's browser; what comes of it is not looked at.
void frmAbout::openWebPage(const std::string& address)
{
    ShellExecuteW(nullptr, L"open", win::wide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// The link takes the focus by Tab; Enter or Space then act as a click. It
// shows the focus as a dialog's controls do, only once the keyboard is used.
LRESULT CALLBACK frmAbout::linkProc(HWND link, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                    DWORD_PTR self)
{
    const auto activates = [](WPARAM key) { return key == VK_RETURN || key == VK_SPACE; };
    switch (message) {
    case WM_GETDLGCODE: {
        const auto* keyMessage = reinterpret_cast<const MSG*>(lParam);
        if (keyMessage && keyMessage->message == WM_KEYDOWN && activates(keyMessage->wParam))
            return DLGC_WANTMESSAGE;
        break;
    }
    case WM_KEYDOWN:
        if (activates(wParam)) {
            if (!(lParam & (1 << 30))) // not a repeat of a key held down
                reinterpret_cast<frmAbout*>(self)->lblURL_Click();
            return 0;
        }
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(link, nullptr, TRUE);
        break;
    case WM_PAINT: {
        const LRESULT painted = DefSubclassProc(link, message, wParam, lParam);
        if (GetFocus() == link && !(SendMessageW(link, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS)) {
            RECT box;
            GetClientRect(link, &box);
            const HDC dc = GetDC(link);
            DrawFocusRect(dc, &box);
            ReleaseDC(link, dc);
        }
        return painted;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(link, linkProc, id);
        break;
    default:
        break;
    }
    return DefSubclassProc(link, message, wParam, lParam);
}

LRESULT frmAbout::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        // Escape, as the dialog keys deliver it.
        if (LOWORD(wParam) == IDCANCEL) {
            cmdExit_Click();
            return 0;
        }
        break;
    case WM_DPICHANGED: {
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(hwnd(), nullptr, suggested->left, suggested->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        placeControls(HIWORD(wParam));
        return 0;
    }
    default:
        break;
    }
    return Window::handle(message, wParam, lParam);
}

void frmAbout::destroyed()
{
    if (closed_)
        closed_();
}

} // namespace orvane
