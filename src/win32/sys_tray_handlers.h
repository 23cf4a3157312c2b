#pragma once

#include "desktop/tray_handlers.h"
#include "platform/win_api.h"
#include "win32/win_tray_platform.h"

#include <functional>

namespace orvane {

// The window's popup menu at a point of the screen, as the tray shows it;
// returns once it has closed.
void showPopupMenuAt(HWND window, HMENU popup, POINT at);

// The tray handlers on the Win32 main window: the window operations, the
// popup menu at the cursor and the pictures from the program's folder.
class SysTrayHandlers : public TrayHandlers {
public:
    // Private message of the main window: hide it once the minimise is over.
    static constexpr UINT HideMinimisedMessage = WM_APP + 10;

    SysTrayHandlers(HWND window, HMENU popup, std::function<bool()> paused, std::function<void()> showAbout,
                    SysTrayModule& module, TrayPictures& pictures);

    WindowHandle windowHandle() const override;
    // The main window's answer to HideMinimisedMessage.
    void hideIfInTray();

private:
    bool windowMinimised() const override;
    IconHandle loadPicture(const std::string& imageName) override;
    void showWindowPicture(IconHandle picture) override;
    void releasePicture(IconHandle picture) override;
    void hideWindow() override;
    void hideMinimisedWindow() override;
    void restoreWindow() override;
    void setForegroundWindow() override;
    void showPopupMenu() override;
    void showAbout() override;

    HWND window_;
    HMENU popup_;
    std::function<void()> showAbout_;
    TrayPictures& pictures_;
};

} // namespace orvane
