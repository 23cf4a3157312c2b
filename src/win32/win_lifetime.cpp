#include "win32/win_lifetime.h"

namespace orvane {

namespace {

constexpr UINT kCheckMessage = WM_APP + 1;

BOOL CALLBACK findShown(HWND window, LPARAM found)
{
    if (IsWindowVisible(window)) {
        *reinterpret_cast<bool*>(found) = true;
        return FALSE;
    }
    return TRUE;
}

} // namespace

WinLifetime::WinLifetime()
{
    create(L"OrvaneLifetime", 0, 0, L"", RECT{0, 0, 0, 0}, HWND_MESSAGE);
}

void WinLifetime::checkLater()
{
    PostMessageW(hwnd(), kCheckMessage, 0, 0);
}

// The thread's top-level windows: the About window, a message box, the
// main window (hidden in the tray it does not count).
bool WinLifetime::anyWindowShown() const
{
    bool found = false;
    EnumThreadWindows(GetCurrentThreadId(), findShown, reinterpret_cast<LPARAM>(&found));
    return found;
}

void WinLifetime::endProgram()
{
    PostQuitMessage(0);
}

LRESULT WinLifetime::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kCheckMessage) {
        check();
        return 0;
    }
    return Window::handle(message, wParam, lParam);
}

} // namespace orvane
