#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace orvane {

// What the player needs of the window system besides its controls.
class UiHost {
public:
    static constexpr int PointerDefault = 0;
    static constexpr int PointerHourglass = 11;
    static constexpr int MsgBoxExclamation = 48;

    virtual ~UiHost() = default;

    // Let the window process its pending events once.
    virtual void yield() = 0;

    // Modal message box with one OK button; style 48 shows the exclamation icon.
    virtual void messageBox(const std::string& text, int style, const std::string& title) = 0;

    // The main window's mouse pointer: PointerDefault or PointerHourglass.
    virtual void setMousePointer(int code) = 0;

    // Asks for a tick of Timer1 as soon as the window is free, ahead of the
    // timer's interval, when Timer1 still runs by then. Never runs the tick
    // from inside this call. A host without the means ignores the request; the
    // timer's own tick then comes as usual.
    virtual void requestTick() {}

    // Runs call on the window thread, after the events already waiting, in
    // the order of the posts. May be called from any thread; a call still
    // waiting when the host goes is dropped.
    virtual void post(std::function<void()> call) = 0;

    // Steady time, to learn how long some work took; never a time of day.
    virtual std::chrono::steady_clock::time_point steadyNow() const { return std::chrono::steady_clock::now(); }

    // What a requested tick runs: the main window's tick while Timer1 runs.
    void setTickHandler(std::function<void()> handler) { tickHandler_ = std::move(handler); }

protected:
    bool hasTickHandler() const { return static_cast<bool>(tickHandler_); }
    void runRequestedTick()
    {
        if (tickHandler_)
            tickHandler_();
    }

private:
    std::function<void()> tickHandler_;
};

} // namespace orvane
