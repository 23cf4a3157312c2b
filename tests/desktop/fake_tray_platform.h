#pragma once

#include "desktop/mod_sys_tray.h"

#include <map>
#include <string>
#include <vector>

namespace orvane::test {

// A notification area and window-procedure slots that record what they were
// asked to do, and deliver tray clicks the way the desktop does: to the
// window's current procedure.
class FakeTrayPlatform : public SysTrayPlatform {
public:
    struct Call {
        std::string op; // "add" or "delete"
        NotifyIconData data;
    };

    void notifyIconAdd(const NotifyIconData& data) override { calls.push_back({"add", data}); }
    void notifyIconDelete(const NotifyIconData& data) override { calls.push_back({"delete", data}); }
    WindowProc setWindowProc(WindowHandle window, WindowProc proc) override
    {
        ++procSwaps;
        WindowProc previous = procs[window];
        procs[window] = std::move(proc);
        return previous;
    }
    bool trayAvailable() const override { return available; }

    // A mouse message over the icon, as the notification reaches the window.
    std::int32_t trayMouse(WindowHandle window, std::uint32_t mouseMessage, std::uintptr_t wParam = 0)
    {
        const WindowProc proc = procs[window];
        return proc ? proc(window, SysTrayCallbackMessage, wParam, static_cast<std::intptr_t>(mouseMessage))
                    : 0;
    }

    std::vector<std::string> ops() const
    {
        std::vector<std::string> out;
        for (const Call& c : calls)
            out.push_back(c.op);
        return out;
    }

    std::vector<Call> calls;
    std::map<WindowHandle, WindowProc> procs;
    int procSwaps = 0;
    bool available = true;
};

} // namespace orvane::test
