// The sleep timer's every change of state; what the player does at each is
// in listening.cpp.
#include "player/sleep_timer.h"

#include <algorithm>

namespace orvane {

namespace {

int minutesOf(SleepTimer::Choice choice)
{
    switch (choice) {
    case SleepTimer::Choice::Minutes15: return 15;
    case SleepTimer::Choice::Minutes30: return 30;
    case SleepTimer::Choice::Minutes45: return 45;
    case SleepTimer::Choice::Minutes60: return 60;
    case SleepTimer::Choice::Minutes90: return 90;
    case SleepTimer::Choice::Off:
    case SleepTimer::Choice::EndOfFile:
    case SleepTimer::Choice::EndOfFolder: break;
    }
    return 0;
}

} // namespace

void SleepTimer::choose(Choice choice, Clock::time_point now)
{
    off();
    choice_ = choice;
    if (choice == Choice::EndOfFile)
        stage_ = Stage::AtFileEnd;
    else if (choice == Choice::EndOfFolder)
        stage_ = Stage::AtFolderEnd;
    else if (const int minutes = minutesOf(choice); minutes > 0) {
        stage_ = Stage::Counting;
        deadline_ = now + std::chrono::minutes(minutes);
    } else {
        choice_ = Choice::Off;
    }
}

void SleepTimer::off()
{
    stage_ = Stage::Off;
    choice_ = Choice::Off;
    fadeFile_.clear();
    fadeFrom_ = -1.0;
}

void SleepTimer::beginFade(Clock::time_point now, const std::string& file, double position)
{
    stage_ = Stage::Fading;
    fadeBegan_ = now;
    fadeFile_ = file;
    fadeFrom_ = position;
}

double SleepTimer::level(Clock::time_point now) const
{
    if (!fading())
        return 1.0;
    const std::chrono::duration<double> gone = now - fadeBegan_;
    const std::chrono::duration<double> whole = FadeTime;
    return std::clamp(1.0 - gone / whole, 0.0, 1.0);
}

void SleepTimer::fileBegins(const std::string& file)
{
    if (!fading() || file == fadeFile_)
        return;
    fadeFile_ = file;
    fadeFrom_ = 0.0;
}

std::string SleepTimer::text(Clock::time_point now) const
{
    switch (stage_) {
    case Stage::Off: return {};
    case Stage::Fading: return "Sleep now";
    case Stage::AtFileEnd: return "Sleep at the end of this file";
    case Stage::AtFolderEnd: return "Sleep at the end of this folder";
    case Stage::Counting: break;
    }
    const auto left = std::max(Clock::duration::zero(), deadline_ - now);
    // Whole minutes, rounded up: "1 min" until the fade begins.
    const auto minutes = std::max<long long>(1, std::chrono::ceil<std::chrono::minutes>(left).count());
    return "Sleep in " + std::to_string(minutes) + " min";
}

} // namespace orvane
