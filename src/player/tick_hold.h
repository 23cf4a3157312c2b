#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace orvane {

// What holds the sequence's ticks back, and why. A tick that finds the
// sequence held does nothing more than the hold asks of it; the hold is one
// reason and a count of ticks still to wait, and every change of it is one
// of the members below (written together in sequencer.cpp), each named for
// what happened to the sequence.
//
// Beside the reason it keeps what the reasons are reckoned from: the pass
// under way (a round of a repeated folder or tree: whether it played
// anything, how much it looked at and how long that took) and the wait for a
// sound device, which grows while the device stays away.
class TickHold {
public:
    using Clock = std::chrono::steady_clock;

    enum class Why {
        None,      // each tick goes on
        EmptyPass, // a pass played nothing: the next one waits out the ticks
        NextRound, // a repeated tree's next round waits out the ticks, then begins with a new walk
        Device,    // the file under the cursor waits out the ticks for its sound device
        Failed,    // a file or folder has failed: whether the play path is still there tells
                   // a file that cannot be played from a medium gone
        Medium,    // the play path has gone: the sequence waits at the file it had reached,
                   // and looks for the play path again once the ticks are out
    };

    // What a tick does, given the hold.
    enum class Step {
        Go,      // plays on
        Wait,    // does nothing more
        Restart, // begins the repeated tree's next round
        Check,   // looks whether the play path is there
    };

    Why why() const { return why_; }
    // Ticks asked for at once wait for the timer's own while this holds.
    bool counting() const { return ticks_ > 0; }
    bool passWaits() const { return ticks_ > 0 || why_ == Why::NextRound; }
    bool waitsForDevice() const { return deviceWait_ > 0; }
    bool passOver() const { return passOver_; }
    bool passPlayed() const { return passPlayed_; }

    // The sequence begins: nothing has played, been looked at or waited for.
    void sequenceBegins();
    // Stop: nothing holds any more.
    void stopped();
    // Looking towards this pass: folders listed or probed, and its time.
    void looked(std::int64_t folders, Clock::duration time);
    // A file has been heard to its end: the pass played, and a device works.
    void heard();
    // The pass has come round; it ends once the device is free.
    void passComesRound() { passOver_ = true; }
    // Ends the pass: one that played nothing holds the next, one tick more
    // for each share of its work and at least a number of times as long as
    // its looking took.
    void endPass();
    // The next round of a repeated tree waits (after an ended pass).
    void nextRoundWaits();
    // The play path of a repeated tree is not there for its next round: the
    // round waits as one that played nothing.
    void playPathAway();
    // The sound device has gone under the file under the cursor (which goes
    // back there when it is in the play list: the pass has not come round).
    void deviceLost(bool underCursor);
    // Skip while a file waits for its device: the next is tried at once.
    void deviceWaitSkipped();
    // A file (the cursor's entry before this one) or a folder (List1's index)
    // has failed; the next tick checks the play path.
    void fileFailed(const std::string& file);
    void folderFailed(std::int64_t folderIndex);
    // The check is asked of the file system once; true the first time.
    bool checkAsked();
    // The play path is not there: the sequence waits for it, looking again
    // after a wait that grows while it stays away.
    void mediumGone();
    // The play path is there: a failed file was only a file; a medium gone is back.
    void playPathThere();
    const std::string& failedFile() const { return failedFile_; }
    const std::optional<std::int64_t>& failedFolder() const { return failedFolder_; }
    // One tick: counts a wait down, or says what the hold wants of the tick.
    Step tick(bool paused);

private:
    Why why_ = Why::None;
    std::int64_t ticks_ = 0;        // ticks still to wait
    bool passPlayed_ = false;       // a file of this pass was heard to its end
    bool passOver_ = false;         // the pass has come round; it ends once the device is free
    std::int64_t passWork_ = 0;     // folders listed or probed in this pass
    Clock::duration passLook_{};    // the time that looking and opening took
    std::int64_t deviceWait_ = 0;   // the last wait for a sound device; 0 while one works
    std::int64_t mediumWait_ = 0;   // the last wait for a play path gone
    bool checkAsked_ = false;       // the play path's check has been asked of the file system
    std::string failedFile_;        // the file that failed, to go back to if the medium has gone
    std::optional<std::int64_t> failedFolder_; // the folder that failed, likewise
};

} // namespace orvane
