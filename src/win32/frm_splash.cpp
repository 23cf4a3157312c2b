#include "win32/frm_splash.h"

#include "app/main_form.h"
#include "win32/win_accessible.h"

namespace orvane {

namespace {

constexpr UINT_PTR kTimer1 = 1;

} // namespace

frmSplash::frmSplash(SettingsProvider& settings, std::function<void()> showMainWindow)
    : SplashForm(settings)
    , showMainWindow_(std::move(showMainWindow))
{
    // No title text, a fixed dialog frame.
    create(L"OrvaneSplash", WS_EX_DLGMODALFRAME, WS_POPUP | WS_DLGFRAME, L"", RECT{0, 0, 0, 0}, nullptr);
    Frame1 = std::make_unique<win::ProductFrame>(hwnd(), layout::SplashFrame);
    Frame1->onBackgroundClick = [this] { Frame1_Click(); };
    placeControls();
    Form_Load();
}

void frmSplash::placeControls()
{
    const UINT dpi = win::windowDpi(hwnd());
    const win::TwipsScale tw(dpi);
    const layout::TwipsSize client = layout::SplashFrame.client;
    win::setClientSize(hwnd(), tw.px(client.width), tw.px(client.height), dpi);
    Frame1->place(dpi);

    // Centred on the screen's work area.
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT window{};
    GetWindowRect(hwnd(), &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    SetWindowPos(hwnd(), nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void frmSplash::show()
{
    ShowWindow(hwnd(), SW_SHOWNORMAL);
    SetForegroundWindow(hwnd());
    SetFocus(hwnd());
}

void frmSplash::showVersion(const std::string& caption)
{
    Frame1->showVersion(caption);
}

void frmSplash::startTimer1(int intervalMs)
{
    SetTimer(hwnd(), kTimer1, static_cast<UINT>(intervalMs), nullptr);
}

void frmSplash::stopTimer1()
{
    if (hwnd())
        KillTimer(hwnd(), kTimer1);
}

void frmSplash::closeWindow()
{
    if (hwnd())
        DestroyWindow(hwnd());
}

void frmSplash::showMainWindow()
{
    if (showMainWindow_)
        showMainWindow_();
}

LRESULT frmSplash::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        if (wParam == kTimer1)
            Timer1_Timer();
        return 0;
    case WM_CHAR: // a key that types a character, Enter and Esc included
        Form_KeyPress();
        return 0;
    case WM_DESTROY:
        Form_Unload();
        return 0;
    case WM_GETOBJECT: {
        // It takes the focus at start without a title of its own (it has no
        // caption bar): a screen reader names it as the program.
        win::AccessibleFacts facts;
        facts.name = win::wide(MainForm::Caption);
        if (const LRESULT answer = win::answerGetObject(hwnd(), wParam, lParam, facts))
            return answer;
        break;
    }
    default:
        break;
    }
    return Window::handle(message, wParam, lParam);
}

} // namespace orvane
