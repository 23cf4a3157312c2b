#include "desktop/window_procs.h"

#include <utility>

namespace orvane {

WindowProc WindowProcSlots::set(WindowHandle window, WindowProc proc)
{
    WindowProc& slot = procs_[window];
    WindowProc previous = slot ? std::move(slot) : WindowProc(ignore);
    slot = std::move(proc);
    return previous;
}

std::int32_t WindowProcSlots::send(WindowHandle window, std::uint32_t msg, std::uintptr_t wParam,
                                   std::intptr_t lParam)
{
    const auto it = procs_.find(window);
    if (it == procs_.end() || !it->second)
        return ignore(window, msg, wParam, lParam);
    // A copy: the procedure may put another one in its place while it runs.
    const WindowProc proc = it->second;
    return proc(window, msg, wParam, lParam);
}

} // namespace orvane
