#pragma once

#include "app/program_lifetime.h"
#include "win32/win_window.h"

namespace orvane {

// The program's lifetime on Win32: the windows tell it when they go; the
// check runs from a message of its own, once the window that went is gone;
// the program ends with the message loop.
class WinLifetime : public win::Window, public ProgramLifetime {
public:
    WinLifetime();

private:
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void checkLater() override;
    bool anyWindowShown() const override;
    void endProgram() override;
};

} // namespace orvane
