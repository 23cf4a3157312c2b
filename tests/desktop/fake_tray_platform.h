#pragma once

#include "desktop/mod_sys_tray.h"
#include "desktop/tray_handlers.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace orvane::test {

// A notification area and window-procedure slots that record what they were
// asked to do, and deliver tray clicks the way the desktop does: to the
// window's current procedure.
class FakeTrayPlatform : public SysTrayPlatform {
public:
    struct Call {
        std::string op; // "add", "delete" or "modify"
        NotifyIconData data;
    };

    void notifyIconAdd(const NotifyIconData& data) override { calls.push_back({"add", data}); }
    void notifyIconDelete(const NotifyIconData& data) override { calls.push_back({"delete", data}); }
    void notifyIconModify(const NotifyIconData& data) override { calls.push_back({"modify", data}); }
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

// A main window for the tray handlers: its state as flags, each picture by
// the image it was loaded from, and the calls that act on the desktop.
class FakeTrayWindow : public TrayHandlers {
public:
    static constexpr WindowHandle Handle = 0x77;

    FakeTrayWindow(SysTrayModule& module, const bool& paused)
        : TrayHandlers(module, [&paused] { return paused; })
    {
    }

    void minimise()
    {
        minimised = true;
        Form_Resize();
    }
    const std::string& windowImage() const { return images.at(windowIconHandle()); }

    WindowHandle windowHandle() const override { return Handle; }
    bool windowMinimised() const override { return minimised; }
    IconHandle loadPicture(const std::string& imageName) override
    {
        images[nextPicture] = imageName;
        loaded.insert(nextPicture);
        return nextPicture++;
    }
    void showWindowPicture(IconHandle picture) override { shownPicture = picture; }
    void releasePicture(IconHandle picture) override { loaded.erase(picture); }
    void hideWindow() override { note("hide"); }
    void hideMinimisedWindow() override { note("hide minimised"); }
    void restoreWindow() override
    {
        minimised = false;
        note("restore");
    }
    void setForegroundWindow() override { note("foreground"); }
    void showPopupMenu() override { note("popup"); }
    void showAbout() override { note("about"); }

    bool minimised = false;
    IconHandle shownPicture = 0;
    IconHandle nextPicture = 1;
    std::map<IconHandle, std::string> images;
    std::set<IconHandle> loaded;
    std::vector<std::string> calls;

private:
    void note(const char* call) { calls.emplace_back(call); }
};

} // namespace orvane::test
