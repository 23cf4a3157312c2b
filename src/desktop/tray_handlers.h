#pragma once

#include "desktop/mod_sys_tray.h"

#include <functional>
#include <string>

namespace orvane {

// The main window's side of the tray: minimise to tray, the popup menu on a
// right-button press over the icon, Settings, About, the icon's part of Exit,
// and the icon refresh after a tray command. Each program's tray handlers
// derive from it and supply the window and desktop calls below.
class TrayHandlers {
public:
    static constexpr const char* Tip = "MP3 Orvane"; // the main window's caption

    // paused tells whether playback is paused; it chooses the image. The
    // module's mouse handler is this object's while it lives.
    TrayHandlers(SysTrayModule& module, std::function<bool()> paused);
    virtual ~TrayHandlers();
    TrayHandlers(const TrayHandlers&) = delete;
    TrayHandlers& operator=(const TrayHandlers&) = delete;

    void Form_Resize(); // runs on every resize notification of the window
    void SysTrayMouseEventHandler();
    void mnuSettings_Click();
    void mnuAbout_Click();
    void mnuExit_Click(); // the icon goes; the window then unloads itself
    void trayRefresh(const std::string& imageName);
    // The tip the icon shows (see trayTipText) from its next add on; showTip
    // then has an icon that is there show it, changed in place, only when it
    // differs from the one it shows. A shell may show it once a command is
    // over: a tray command's refresh adds the icon anew with it meanwhile.
    void setTip(const std::string& tip) { tip_ = tip; }
    void showTip();
    const std::string& tip() const { return tip_; }

    // Whether the window lives in the tray. An explicit flag, not the window
    // state: a hidden window's state is not reported the same way everywhere.
    bool inTray() const { return inTray_; }
    // The picture the window shows as its icon; 0 while it shows its own.
    IconHandle windowIconHandle() const { return windowIcon_; }
    virtual WindowHandle windowHandle() const = 0;

protected:
    SysTrayModule& module() const { return module_; }

    virtual bool windowMinimised() const = 0;
    // A new picture of the image file of that name in the program's folder,
    // each load with a handle of its own (never 0).
    virtual IconHandle loadPicture(const std::string& imageName) = 0;
    virtual void showWindowPicture(IconHandle picture) = 0; // as the window's icon
    virtual void releasePicture(IconHandle picture) = 0;
    virtual void hideWindow() = 0;
    // The window has just been minimised into the tray. A shell may hide it
    // once the desktop has finished the minimise, unless it has left the
    // tray by then (inTray).
    virtual void hideMinimisedWindow() = 0;
    virtual void restoreWindow() = 0; // normal state, shown, in front
    virtual void setForegroundWindow() = 0;
    // RCPopup at the mouse position; items react to either mouse button.
    virtual void showPopupMenu() = 0;
    virtual void showAbout() = 0; // frmAbout, modeless

private:
    bool trayAvailable() const;
    void minimiseToTray();
    void setWindowPicture(IconHandle picture);

    SysTrayModule& module_;
    std::function<bool()> paused_;
    IconHandle windowIcon_ = 0;
    bool inTray_ = false;
    std::string tip_ = Tip;
};

} // namespace orvane
