#pragma once

namespace orvane {

// Ends the process when no window of the program is left: once the main
// window has unloaded and every other window (About, a message box) is
// closed. A main window hidden in the tray is not unloaded, so closing
// another window then must not end the program. Each program derives from it
// and tells it of every window that goes; it supplies the calls below.
class ProgramLifetime {
public:
    virtual ~ProgramLifetime() = default;

    void mainWindowUnloaded();
    // A window of the program was hidden or closed.
    void windowGone();

protected:
    // Runs check() once the event at hand is done, when the closing window no
    // longer counts as shown.
    virtual void checkLater() = 0;
    virtual bool anyWindowShown() const = 0;
    virtual void endProgram() = 0;
    void check();

private:
    void scheduleCheck();

    bool mainUnloaded_ = false;
    bool checkPending_ = false;
    bool ending_ = false;
};

} // namespace orvane
