#include "desktop/tray_handlers.h"

#include "player/player.h"

namespace orvane {

TrayHandlers::TrayHandlers(SysTrayModule& module, std::function<bool()> paused)
    : module_(module)
    , paused_(std::move(paused))
{
    module_.SysTrayMouseEventHandler = [this] { SysTrayMouseEventHandler(); };
}

TrayHandlers::~TrayHandlers()
{
    module_.SysTrayMouseEventHandler = nullptr;
}

// Only a minimise does anything; a window already in the tray stays there.
void TrayHandlers::Form_Resize()
{
    if (!windowMinimised() || inTray_)
        return;
    minimiseToTray();
}

// Without a notification area there would be no way back to a hidden window:
// it stays minimised on the taskbar instead.
bool TrayHandlers::trayAvailable() const
{
    return !module_.platform() || module_.platform()->trayAvailable();
}

void TrayHandlers::minimiseToTray()
{
    if (!trayAvailable())
        return;
    setWindowPicture(loadPicture(paused_() ? TrayImagePaused : TrayImagePlaying));
    module_.HookSysTrayWindow(windowHandle());
    module_.AddSysTrayIcon(windowHandle(), windowIcon_, windowIcon_, tip_);
    inTray_ = true;
    hideMinimisedWindow();
}

// The tray icon is made from the window's icon and keeps its own copy, so the
// picture shown before can go.
void TrayHandlers::setWindowPicture(IconHandle picture)
{
    showWindowPicture(picture);
    if (windowIcon_ != 0)
        releasePicture(windowIcon_);
    windowIcon_ = picture;
}

// The desktop's foreground goes to the program first, so that the menu
// closes when the user clicks elsewhere.
void TrayHandlers::SysTrayMouseEventHandler()
{
    setForegroundWindow();
    showPopupMenu();
}

void TrayHandlers::mnuSettings_Click()
{
    module_.UnhookSysTrayWindow();
    inTray_ = false;
    restoreWindow();
    module_.RemoveSysTrayIcon();
}

void TrayHandlers::mnuAbout_Click()
{
    showAbout();
}

void TrayHandlers::mnuExit_Click()
{
    module_.RemoveSysTrayIcon();
    inTray_ = false;
}

// After a tray command: the old icon goes and one with the image of the new
// state comes, made from the window's new icon. The hidden window is still
// minimised, so the minimise to tray runs again directly.
//
// Only a window still in the tray is refreshed. A long command (Play walks
// the tree and lets events through) may have seen Settings bring the window
// back or Exit unload it, and the media keys run the same commands while the
// window is on screen: none of these has an icon to refresh.
void TrayHandlers::trayRefresh(const std::string& imageName)
{
    if (!trayAvailable()) {
        // Minimised on the taskbar instead: its picture still tells the state.
        if (windowMinimised())
            setWindowPicture(loadPicture(imageName));
        return;
    }
    if (!inTray_)
        return;
    setWindowPicture(loadPicture(imageName));
    hideWindow();
    module_.RemoveSysTrayIcon();
    module_.HookSysTrayWindow(windowHandle());
    minimiseToTray();
}

void TrayHandlers::showTip()
{
    if (inTray_ && module_.SysTrayIconData.szTip != tip_)
        module_.ModifySysTrayTip(tip_);
}

} // namespace orvane
