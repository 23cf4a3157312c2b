#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>

namespace orvane {

// The main window's controls as the player sees them. The window mirrors every
// change onto its widgets as it happens (the listener), so a state switched in
// the middle of a handler shows during that handler's yields too.
enum class Ctl : std::size_t {
    cmdPlay, cmdPause, cmdSkip, cmdStop,
    mnuPlay, mnuPause, mnuSkip, mnuStop,
    ckRepeat, ckSub, optDate, optName,
    cmdPath, Text1, Timer1,
    Count
};

const char* ctlName(Ctl c);

class ControlModel {
public:
    using Listener = std::function<void(Ctl)>;

    ControlModel();

    // Enabled state; for Timer1 this is whether the timer runs.
    bool enabled(Ctl c) const { return enabled_[index(c)]; }
    void setEnabled(Ctl c, bool on);

    // Values of the option buttons, check boxes (0 or 1) and the play path box.
    bool optDate() const { return optDate_; }
    bool optName() const { return optName_; }
    int ckSub() const { return ckSub_; }
    int ckRepeat() const { return ckRepeat_; }
    const std::string& Text1() const { return text1_; }

    void setOptDate(bool on);
    void setOptName(bool on);
    void setCkSub(int state);
    void setCkRepeat(int state);
    void setText1(const std::string& text);

    // Called after every change, with the control that changed.
    void setListener(Listener listener) { listener_ = std::move(listener); }

private:
    static std::size_t index(Ctl c) { return static_cast<std::size_t>(c); }
    void changed(Ctl c);

    std::array<bool, static_cast<std::size_t>(Ctl::Count)> enabled_{};
    bool optDate_ = false;
    bool optName_ = false;
    int ckSub_ = 0;
    int ckRepeat_ = 0;
    std::string text1_;
    Listener listener_;
};

} // namespace orvane
