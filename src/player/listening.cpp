// Long listening: the sleep timer, which fades the music out and pauses it
// with the place kept, and seeking within the file heard.
#include "player/player.h"

#include <algorithm>

namespace orvane {

void Player::chooseSleep(SleepTimer::Choice choice)
{
    endSleep();
    sleep_.choose(choice, ui_.steadyNow());
    // A next file already named would follow the end the music is to pause
    // at; it is named again (or not) by the rule of nextFileHint.
    if (PlayOn == 1 && DeviceReady == 0 && !playing_.empty())
        MMControl1.setNextFileName(nextFileHint());
    sleepTextMayChange();
}

// Off, with the sound back at its level if it was fading.
void Player::endSleep()
{
    const bool wasFading = sleep_.fading();
    sleep_.off();
    if (wasFading)
        MMControl1.setVolume(1.0);
    sleepTextMayChange();
}

// Each tick: the time counted, the fade taken a step further.
void Player::sleepTick()
{
    const auto now = ui_.steadyNow();
    if (sleep_.due(now)) {
        if (state() != PlayState::Playing || playing_.empty()) {
            endSleep(); // paused or between files: already as quiet as a sleep makes it
            return;
        }
        sleep_.beginFade(now, playing_, MMControl1.position());
    }
    if (sleep_.fading()) {
        if (sleep_.faded(now))
            fadeOut();
        else
            MMControl1.setVolume(sleep_.level(now));
    }
    sleepTextMayChange();
}

// The fade is over: the player pauses, as at the Pause of the tray, and the
// file goes back to where the fade began, so that Play (now, or after the
// program's end) goes on from what was last heard in full.
void Player::fadeOut()
{
    const std::string file = sleep_.fadeFile();
    const double from = sleep_.fadeFrom();
    sleep_.off();
    mnuPause_Click();
    if (file == playing_ && from >= 0.0)
        seekTo(from);
    MMControl1.setVolume(1.0);
    sleepTextMayChange();
}

// A file has played to its end: true when the sleep pauses here, before the
// next file, which Play then starts.
bool Player::pauseAtEnd()
{
    if (PlayOn != 1 || Paused || !PlayList || !sleep_.pausesAfter(PlayIndex >= playListCount()))
        return false;
    sleep_.off();
    place_.pausedAfterFile();
    mnuPause_Click();
    sleepTextMayChange();
    return true;
}

void Player::sleepTextMayChange()
{
    std::string text = sleepText();
    if (text == sleepText_)
        return;
    sleepText_ = std::move(text);
    sleepChanged_.notify();
}

bool Player::canSeek() const
{
    return PlayOn == 1 && !playing_.empty() && MMControl1.canSeek();
}

bool Player::seekTo(double seconds)
{
    if (!canSeek())
        return false;
    const std::int64_t lengthUs = MMControl1.nowPlaying().lengthUs;
    if (lengthUs > 0 && seconds * 1e6 >= static_cast<double>(lengthUs)) {
        if (!controls_.enabled(Ctl::cmdSkip))
            return false;
        cmdSkip_Click();
        return true;
    }
    seconds = std::max(0.0, seconds);
    MMControl1.seek(seconds);
    place_.sought(seconds);
    seeked_.notify(seconds);
    return true;
}

bool Player::seekBy(double seconds)
{
    const double at = MMControl1.position();
    return canSeek() && at >= 0.0 && seekTo(at + seconds);
}

} // namespace orvane
