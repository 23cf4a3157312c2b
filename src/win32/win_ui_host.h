#pragma once

#include "platform/ui_host.h"
#include "platform/win_api.h"

#include <functional>

namespace orvane {

// Hands one message to its window, through the dialog keys (Tab, the arrows,
// Enter) of a window that asked for them with wantDialogKeys.
void dispatchMessage(MSG& message);
void wantDialogKeys(HWND window);

// One pass of the message loop: every message waiting now. False when the
// program is to end (WM_QUIT came; it is put back for the outer loop).
bool pumpPendingMessages();

// The player's window services on Win32: the yield is one pass of the
// message loop, the message box and the hourglass belong to the main window.
class WinUiHost : public UiHost {
public:
    // boxClosed runs when a message box has closed, a window of the program
    // that is gone.
    WinUiHost(std::function<HWND()> owner, std::function<void()> boxClosed);
    ~WinUiHost() override;

    void yield() override;
    void messageBox(const std::string& text, int style, const std::string& title) override;
    void setMousePointer(int code) override;

    bool hourglassShown() const { return hourglass_; }
    // The pointer over the owner window: the hourglass while it is on.
    bool setCursorFor(HWND window);

private:
    std::function<HWND()> owner_;
    std::function<void()> boxClosed_;
    bool hourglass_ = false;
};

} // namespace orvane
