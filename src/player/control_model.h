#pragma once

#include "platform/signal.h"

#include <array>
#include <cstddef>
#include <string>

namespace orvane {

// The main window's controls as the player sees them. The window mirrors every
// change onto its widgets as it happens (it listens to changes()), so a state
// switched in the middle of a handler shows during that handler's yields too.
enum class Ctl : std::size_t {
    cmdPlay, cmdPause, cmdSkip, cmdStop,
    mnuPlay, mnuPause, mnuSkip, mnuStop,
    ckRepeat, ckSub, optDate, optName,
    cmdPath, Text1, Timer1,
    mnuShuffle,
    mnuEvenLoudness,
    Count
};

const char* ctlName(Ctl c);

// What the player is doing, as PlayOn and Paused tell it.
enum class PlayState { Idle, Playing, Paused };

constexpr PlayState playState(int playOn, bool paused)
{
    return playOn == 0 ? PlayState::Idle : paused ? PlayState::Paused : PlayState::Playing;
}

// One row of the window's arrangements: a control, with the tray item that
// is enabled alike where it has one, and whether it is enabled in each state.
struct ArrangementRow {
    Ctl control;
    Ctl twin = Ctl::Count; // Ctl::Count: no tray twin
    bool twinFirst = false; // the twin is switched before the control
    bool idle = false;
    bool playing = false;
    bool paused = false;

    constexpr bool on(PlayState state) const
    {
        return state == PlayState::Idle ? idle : state == PlayState::Playing ? playing : paused;
    }
};

// Every control once, in the order a change of state switches them: Pause,
// then Play, the options and the play path, Skip, and the timer last, so it
// starts only once the window shows the playing arrangement.
inline constexpr ArrangementRow Arrangements[] = {
    // control       twin           twinFirst idle   playing paused
    {Ctl::cmdPause, Ctl::mnuPause, false, false, true, false},
    {Ctl::cmdPlay, Ctl::mnuPlay, true, true, false, true},
    {Ctl::ckRepeat, Ctl::Count, false, true, false, false},
    {Ctl::ckSub, Ctl::Count, false, true, false, false},
    {Ctl::optDate, Ctl::Count, false, true, false, false},
    {Ctl::optName, Ctl::Count, false, true, false, false},
    {Ctl::cmdPath, Ctl::Count, false, true, false, false},
    {Ctl::Text1, Ctl::Count, false, true, false, false},
    {Ctl::cmdSkip, Ctl::mnuSkip, false, false, true, false},
    {Ctl::cmdStop, Ctl::mnuStop, false, true, true, true},
    {Ctl::Timer1, Ctl::Count, false, false, true, true},
};

class ControlModel {
public:
    ControlModel();

    // Enabled state; for Timer1 this is whether the timer runs.
    bool enabled(Ctl c) const { return enabled_[index(c)]; }
    void setEnabled(Ctl c, bool on);
    // From the arrangement of one state to that of another, row by row: each
    // control the two arrangements differ in is switched, the rest are left
    // as they are.
    void arrange(PlayState from, PlayState to);

    // Values of the option buttons, check boxes (0 or 1) and the play path box.
    bool optDate() const { return optDate_; }
    bool optName() const { return optName_; }
    int ckSub() const { return ckSub_; }
    int ckRepeat() const { return ckRepeat_; }
    const std::string& Text1() const { return text1_; }
    // Shuffle Folders: each round of a tree plays its folders in an order of
    // its own. The item can be chosen while Subdirectories is checked.
    bool shuffle() const { return shuffle_; }
    // Even Loudness: each file heard at the reference loudness, from the next
    // file on. It can always be chosen.
    bool evenLoudness() const { return evenLoudness_; }
    // Whether a check box or option button shows its mark; false for the rest.
    bool checked(Ctl c) const;

    void setOptDate(bool on);
    void setOptName(bool on);
    void setCkSub(int state);
    void setCkRepeat(int state);
    void setText1(const std::string& text);
    void setShuffle(bool on);
    void setEvenLoudness(bool on);

    // Raised after every change, with the control that changed.
    Signal<Ctl>& changes() { return changes_; }

private:
    static std::size_t index(Ctl c) { return static_cast<std::size_t>(c); }
    void changed(Ctl c);

    std::array<bool, static_cast<std::size_t>(Ctl::Count)> enabled_{};
    bool optDate_ = false;
    bool optName_ = false;
    int ckSub_ = 0;
    int ckRepeat_ = 0;
    std::string text1_;
    bool shuffle_ = false;
    bool evenLoudness_ = false;
    Signal<Ctl> changes_;
};

} // namespace orvane
