#pragma once

// modSysTray: the one notification-area icon of the program and the
// replacement window procedure that receives its mouse notifications while
// the main window lives in the tray. Plain C++: the notification area and
// the window-procedure slot are reached through SysTrayPlatform, so the
// rules here run the same against QSystemTrayIcon and against a test fake.

#include <cstdint>
#include <functional>
#include <string>

namespace orvane {

using WindowHandle = std::uintptr_t;
using IconHandle = std::uint32_t;
using WindowProc = std::function<std::int32_t(WindowHandle window, std::uint32_t msg,
                                              std::uintptr_t wParam, std::intptr_t lParam)>;

// Mouse message numbers, as the notification area reports them in lParam,
// and the record's flags: the numbers of the Win32 headers. Where those
// headers come first, their macros of the same names stand for these.
#ifndef WM_MOUSEMOVE
inline constexpr std::uint32_t WM_MOUSEMOVE = 0x200;
inline constexpr std::uint32_t WM_LBUTTONDOWN = 0x201;
inline constexpr std::uint32_t WM_LBUTTONUP = 0x202;
inline constexpr std::uint32_t WM_LBUTTONDBLCLK = 0x203;
inline constexpr std::uint32_t WM_RBUTTONDOWN = 0x204;
inline constexpr std::uint32_t WM_RBUTTONUP = 0x205;
#endif

#ifndef NIF_MESSAGE
inline constexpr std::uint32_t NIF_MESSAGE = 1;
inline constexpr std::uint32_t NIF_ICON = 2;
inline constexpr std::uint32_t NIF_TIP = 4;
#endif

// The tray notification reuses the number of WM_RBUTTONUP; what tells it
// apart is the window procedure it arrives at, installed only while in tray.
inline constexpr std::uint32_t SysTrayCallbackMessage = WM_RBUTTONUP;

// The notification-icon record. A delete names the icon by hWnd and uID.
struct NotifyIconData {
    WindowHandle hWnd = 0;
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    IconHandle hIcon = 0;
    std::string szTip;

    bool operator==(const NotifyIconData&) const = default;
};

// What modSysTray needs of the desktop.
class SysTrayPlatform {
public:
    virtual ~SysTrayPlatform() = default;

    // Shows the icon; mouse activity over it then goes to the window's
    // procedure as uCallbackMessage with the mouse message in lParam.
    virtual void notifyIconAdd(const NotifyIconData& data) = 0;
    // Removes the icon named by data.hWnd and data.uID, if there is one.
    virtual void notifyIconDelete(const NotifyIconData& data) = 0;
    // Changes what data.uFlags names (only NIF_TIP here) of the icon named by
    // data.hWnd and data.uID, the rest as it is.
    virtual void notifyIconModify(const NotifyIconData& data) = 0;
    // Puts proc in place as the window's procedure; returns the one it replaces.
    virtual WindowProc setWindowProc(WindowHandle window, WindowProc proc) = 0;
    // Whether the desktop has a notification area at all.
    virtual bool trayAvailable() const { return true; }
};

class SysTrayModule {
public:
    explicit SysTrayModule(SysTrayPlatform* platform = nullptr) : platform_(platform) {}
    SysTrayModule(const SysTrayModule&) = delete;
    SysTrayModule& operator=(const SysTrayModule&) = delete;

    void setPlatform(SysTrayPlatform* platform) { platform_ = platform; }
    SysTrayPlatform* platform() const { return platform_; }

    void AddSysTrayIcon(WindowHandle window, std::uint32_t identity, IconHandle icon,
                        const std::string& tip);
    void RemoveSysTrayIcon();
    // A new tip for the icon that is there: changed in place, the icon
    // neither removed nor added. The record keeps it for the next add.
    void ModifySysTrayTip(const std::string& tip);
    void HookSysTrayWindow(WindowHandle window);
    void UnhookSysTrayWindow();
    std::int32_t SysTrayWindowProc(WindowHandle window, std::uint32_t msg, std::uintptr_t wParam,
                                   std::intptr_t lParam);

    // The main window's handler for a right-button press on the icon.
    std::function<void()> SysTrayMouseEventHandler;

    NotifyIconData SysTrayIconData;
    std::int16_t SysTrayHooked = 0; // -1 while the hook is installed
    WindowHandle SysTrayHookedWindow = 0;
    WindowProc SysTrayPrevProc;

private:
    SysTrayPlatform* platform_;
};

namespace modSysTray {

// The process-wide module the main window uses.
SysTrayModule& module();

} // namespace modSysTray

} // namespace orvane
