#pragma once

#include "platform/ui_host.h"
#include "platform/win_api.h"

#include <deque>
#include <functional>
#include <mutex>

namespace orvane {

// Hands one message to its window, through the dialog keys (Tab, the arrows,
// Enter) of a window that asked for them with wantDialogKeys.
void dispatchMessage(MSG& message);
void wantDialogKeys(HWND window);
// Ctrl+Left and Ctrl+Right anywhere in a window that asked for them with
// wantSeekKeys reach it as SeekKeyMessage (wParam: 1 for Right), unless a
// text box has the focus, which moves its caret by a word.
inline constexpr UINT SeekKeyMessage = WM_APP + 13; // beside the host's own; the main window's begin at WM_APP + 20
void wantSeekKeys(HWND window);

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
    void requestTick() override;
    void post(std::function<void()> call) override;

    // Private message of the owner window: run the tick asked for.
    static constexpr UINT TickMessage = WM_APP + 11;
    // The owner window's answer to TickMessage.
    void runTick();
    // Private message of the owner window: run the calls posted.
    static constexpr UINT PostedMessage = WM_APP + 12;
    // The owner window's answer to PostedMessage.
    void runPosted();

    bool hourglassShown() const { return hourglass_; }
    // The pointer over the owner window: the hourglass while it is on.
    bool setCursorFor(HWND window);

private:
    std::function<HWND()> owner_;
    std::function<void()> boxClosed_;
    bool hourglass_ = false;
    bool tickPosted_ = false;
    std::mutex postedMutex_;
    std::deque<std::function<void()>> posted_;
};

} // namespace orvane
