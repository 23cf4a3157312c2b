#pragma once

#include <chrono>
#include <string>

namespace orvane {

// When the music is to go quiet by itself: after a number of minutes, with
// a fade and then a pause, or at the end of the file or folder heard, with a
// pause before the next file. One explicit state; the player asks it what to
// do and tells it what happened, and it never touches the control itself.
//
//   Off ──choose──▶ Counting ──due──▶ Fading ──faded──▶ Off (paused)
//   Off ──choose──▶ AtFileEnd / AtFolderEnd ──that end heard──▶ Off (paused)
//   any ──off (Off chosen, Stop, a new Play, a Pause while fading)──▶ Off
class SleepTimer {
public:
    using Clock = std::chrono::steady_clock;

    enum class Stage { Off, Counting, Fading, AtFileEnd, AtFolderEnd };
    // The choices, as the Sleep menu offers them.
    enum class Choice { Off, Minutes15, Minutes30, Minutes45, Minutes60, Minutes90, EndOfFile, EndOfFolder };

    // How long the sound takes to fade out.
    static constexpr std::chrono::seconds FadeTime{10};

    Stage stage() const { return stage_; }
    Choice choice() const { return choice_; }
    bool on() const { return stage_ != Stage::Off; }
    bool fading() const { return stage_ == Stage::Fading; }

    void choose(Choice choice, Clock::time_point now);
    void off();

    // Counting: true once the time is up (the fade then begins, from where
    // the file heard is: a file and its position, negative where unknown).
    bool due(Clock::time_point now) const { return stage_ == Stage::Counting && now >= deadline_; }
    void beginFade(Clock::time_point now, const std::string& file, double position);
    // Fading: the level the sound has faded to (1 down to 0).
    double level(Clock::time_point now) const;
    bool faded(Clock::time_point now) const { return fading() && level(now) <= 0.0; }
    // Another file has begun while fading: the fade's start is its start.
    void fileBegins(const std::string& file);
    const std::string& fadeFile() const { return fadeFile_; }
    double fadeFrom() const { return fadeFrom_; }

    // Whether the end of the file heard (lastOfFolder: the last of its
    // folder) is where the music pauses: no next file may follow it.
    bool pausesAfter(bool lastOfFolder) const
    {
        return stage_ == Stage::AtFileEnd || (stage_ == Stage::AtFolderEnd && lastOfFolder);
    }

    // What the window and the tray tell of it: "Sleep in 14 min", "Sleep at
    // the end of this file"; empty text while it is off.
    std::string text(Clock::time_point now) const;

private:
    Stage stage_ = Stage::Off;
    Choice choice_ = Choice::Off;
    Clock::time_point deadline_{};
    Clock::time_point fadeBegan_{};
    std::string fadeFile_;
    double fadeFrom_ = -1.0;
};

// The Sleep menu, in order: each item's name and caption, and the choice it
// makes.
struct SleepMenuItem {
    const char* name;
    const char* caption;
    SleepTimer::Choice choice;
};

inline constexpr const char* SleepMenuName = "mnuSleep";
inline constexpr const char* SleepMenuCaption = "S&leep";

inline constexpr SleepMenuItem SleepMenu[] = {
    {"mnuSleep15", "15 minutes", SleepTimer::Choice::Minutes15},
    {"mnuSleep30", "30 minutes", SleepTimer::Choice::Minutes30},
    {"mnuSleep45", "45 minutes", SleepTimer::Choice::Minutes45},
    {"mnuSleep60", "60 minutes", SleepTimer::Choice::Minutes60},
    {"mnuSleep90", "90 minutes", SleepTimer::Choice::Minutes90},
    {"mnuSleepFile", "End of this file", SleepTimer::Choice::EndOfFile},
    {"mnuSleepFolder", "End of this folder", SleepTimer::Choice::EndOfFolder},
    {"mnuSleepOff", "Off", SleepTimer::Choice::Off},
};

} // namespace orvane
