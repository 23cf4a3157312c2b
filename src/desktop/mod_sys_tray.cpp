#include "desktop/mod_sys_tray.h"

namespace orvane {

void SysTrayModule::AddSysTrayIcon(WindowHandle window, std::uint32_t identity, IconHandle icon,
                                   const std::string& tip)
{
    SysTrayIconData.hWnd = window;
    SysTrayIconData.uID = identity;
    SysTrayIconData.hIcon = icon;
    SysTrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    SysTrayIconData.uCallbackMessage = SysTrayCallbackMessage;
    SysTrayIconData.szTip = tip;
    if (platform_)
        platform_->notifyIconAdd(SysTrayIconData);
}

// The record is sent as the last add left it, so the icon that goes is the
// one that was added, even when the window's icon has changed since.
void SysTrayModule::RemoveSysTrayIcon()
{
    if (platform_)
        platform_->notifyIconDelete(SysTrayIconData);
}

void SysTrayModule::ModifySysTrayTip(const std::string& tip)
{
    SysTrayIconData.szTip = tip;
    if (!platform_)
        return;
    NotifyIconData change = SysTrayIconData;
    change.uFlags = NIF_TIP;
    platform_->notifyIconModify(change);
}

void SysTrayModule::HookSysTrayWindow(WindowHandle window)
{
    if (SysTrayHooked != 0)
        return;
    SysTrayHookedWindow = window;
    WindowProc hook = [this](WindowHandle w, std::uint32_t msg, std::uintptr_t wParam,
                             std::intptr_t lParam) { return SysTrayWindowProc(w, msg, wParam, lParam); };
    SysTrayPrevProc = platform_ ? platform_->setWindowProc(window, std::move(hook)) : WindowProc{};
    SysTrayHooked = -1;
}

void SysTrayModule::UnhookSysTrayWindow()
{
    if (SysTrayHooked != -1)
        return;
    if (platform_)
        platform_->setWindowProc(SysTrayHookedWindow, SysTrayPrevProc);
    SysTrayHooked = 0;
}

std::int32_t SysTrayModule::SysTrayWindowProc(WindowHandle window, std::uint32_t msg,
                                              std::uintptr_t wParam, std::intptr_t lParam)
{
    if (SysTrayHooked != -1)
        return 0;
    // Only the right-button press opens the menu; every other notification,
    // the release of that same button included, goes on as before.
    if (msg == SysTrayCallbackMessage && lParam == WM_RBUTTONDOWN) {
        if (SysTrayMouseEventHandler)
            SysTrayMouseEventHandler();
        return -1;
    }
    return SysTrayPrevProc ? SysTrayPrevProc(window, msg, wParam, lParam) : 0;
}

namespace modSysTray {

SysTrayModule& module()
{
    static SysTrayModule instance;
    return instance;
}

} // namespace modSysTray

} // namespace orvane
