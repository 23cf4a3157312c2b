#include "win32/sys_tray_handlers.h"

namespace orvane {

SysTrayHandlers::SysTrayHandlers(HWND window, HMENU popup, std::function<bool()> paused,
                                 std::function<void()> showAbout, SysTrayModule& module, TrayPictures& pictures)
    : TrayHandlers(module, std::move(paused))
    , window_(window)
    , popup_(popup)
    , showAbout_(std::move(showAbout))
    , pictures_(pictures)
{
}

WindowHandle SysTrayHandlers::windowHandle() const
{
    return reinterpret_cast<WindowHandle>(window_);
}

bool SysTrayHandlers::windowMinimised() const
{
    return IsIconic(window_) != FALSE;
}

IconHandle SysTrayHandlers::loadPicture(const std::string& imageName)
{
    return pictures_.load(imageName);
}

void SysTrayHandlers::showWindowPicture(IconHandle picture)
{
    if (const TrayPictures::Picture* p = pictures_.picture(picture)) {
        SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(p->small));
        SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(p->large));
    }
}

// The shell keeps a copy of the icon it shows, so the window's old picture
// can go once the new one is in place.
void SysTrayHandlers::releasePicture(IconHandle picture)
{
    pictures_.release(picture);
}

void SysTrayHandlers::hideWindow()
{
    ShowWindow(window_, SW_HIDE);
}

// Hiding from inside the resize that minimised the window would cut short
// the system's own handling of the minimise.
void SysTrayHandlers::hideMinimisedWindow()
{
    PostMessageW(window_, HideMinimisedMessage, 0, 0);
}

void SysTrayHandlers::hideIfInTray()
{
    if (inTray())
        ShowWindow(window_, SW_HIDE);
}

void SysTrayHandlers::restoreWindow()
{
    ShowWindow(window_, SW_RESTORE);
    SetForegroundWindow(window_);
}

void SysTrayHandlers::setForegroundWindow()
{
    SetForegroundWindow(window_);
}

// TPM_RIGHTBUTTON (2): items react to either button. The chosen item comes
// to the window as WM_COMMAND; the empty message after the menu lets it close
// properly when the user clicks elsewhere.
void showPopupMenuAt(HWND window, HMENU popup, POINT at)
{
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr);
    PostMessageW(window, WM_NULL, 0, 0);
}

void SysTrayHandlers::showPopupMenu()
{
    POINT at{};
    GetCursorPos(&at);
    showPopupMenuAt(window_, popup_, at);
}

void SysTrayHandlers::showAbout()
{
    if (showAbout_)
        showAbout_();
}

} // namespace orvane
