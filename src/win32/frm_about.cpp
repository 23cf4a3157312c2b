#include "win32/frm_about.h"

#include "resource_ids.h"
#include "win32/win_ui_host.h"

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
                                SS_CENTER | SS_NOTIFY | SS_NOPREFIX, 0);
    cmdExit = win::createControl(Frame1->hwnd(), L"BUTTON", win::wide(layout::AboutExitCaption),
                                 WS_TABSTOP | BS_PUSHBUTTON, 0);

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

LRESULT frmAbout::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DPICHANGED: {
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(hwnd(), nullptr, suggested->left, suggested->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        placeControls(HIWORD(wParam));
        return 0;
    }
    default:
        return Window::handle(message, wParam, lParam);
    }
}

void frmAbout::destroyed()
{
    if (closed_)
        closed_();
}

} // namespace orvane
