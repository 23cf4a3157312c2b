#pragma once

#include "desktop/mod_sys_tray.h"

#include <map>

namespace orvane {

// Each window's procedure, for a desktop that has no replaceable window
// procedures of its own: set puts a procedure in place and gives back the one
// it replaced, send runs the current one. A window whose procedure was never
// replaced ignores every message (answers 0).
class WindowProcSlots {
public:
    WindowProc set(WindowHandle window, WindowProc proc);
    std::int32_t send(WindowHandle window, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);

    static std::int32_t ignore(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) { return 0; }

private:
    std::map<WindowHandle, WindowProc> procs_;
};

} // namespace orvane
