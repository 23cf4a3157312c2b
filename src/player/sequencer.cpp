// Turning a folder tree into continuous playback: the timer tick that opens
// one file after another, the passes of a repeat and what holds them back,
// and the control's completion.
#include "player/player.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace orvane {

namespace {

// How much looking (folders listed or probed) one held tick pays for: a pass
// that played nothing waits one tick more for each such share of its work,
// which keeps a large tree with nothing to play to a small part of the machine.
constexpr std::int64_t WorkPerHeldTick = 256;

// However fast or slow listing is on this system, a pass that played nothing
// waits at least this many times as long as its looking took, so looking
// costs a small share of one core even where a listing is dear.
constexpr int WaitPerLook = 20;

// The most ticks held between two tries of a sound device that keeps failing
// (four seconds from one try to the next): trying costs next to nothing, and
// music comes back within a few seconds of a device. A play path gone is
// looked for as often.
constexpr std::int64_t MaxDeviceWaitTicks = 15;

std::int64_t ticksFor(std::chrono::steady_clock::duration time)
{
    const auto interval = std::chrono::milliseconds(Timer1IntervalMs);
    return static_cast<std::int64_t>((time + interval - std::chrono::nanoseconds(1)) / interval);
}

} // namespace

void Player::Timer1_Timer()
{
    // A tick never starts while another runs, not even from one of its yields.
    if (tickRunning_)
        return;
    tickRunning_ = true;
    tickAsked_ = false;
    try {
        tick();
        place_.tick();
    } catch (...) {
        // A failure, or a read that waits for the file system, ends this tick
        // quietly; the next tick (asked for by the answer) goes on.
    }
    sleepTick();
    tickRunning_ = false;
    lookAnsweredAt_.reset(); // what an answer set going has run in this tick
    if (tickAsked_)
        askForTick(); // asked for while this tick ran
    takeWaitingAnswers();
}

// What the file system's answers set going: a start that waited for them, the
// walk, the look-ahead and the tick that waited.
void Player::fileAnswered()
{
    if (lookOutSince_) {
        // The looking whose call was out has its answer: its time, the
        // worker's included, counts towards the pass, and so does the time
        // from here to the looking that this answer sets going.
        const auto now = ui_.steadyNow();
        hold_.looked(0, now - *std::exchange(lookOutSince_, std::nullopt));
        lookAnsweredAt_ = now;
    }
    if (tickRunning_ || start_.running()) {
        answerWaiting_ = true; // taken up as the tick or the start ends
        return;
    }
    if (request_ && takeRequest())
        return; // a new start, which has taken up what it reads
    switch (start_.stage()) {
    case StartState::Stage::PlaceCheck:
        start_.placeChecked();
        playOnByItself();
        return;
    case StartState::Stage::Waiting:
        if (!Paused) // a pause while the next round waited holds it until the resume
            beginStart();
        return;
    case StartState::Stage::Settling:
    case StartState::Stage::Walking: // only while its handler runs, which the answers wait for
    case StartState::Stage::None:
        break;
    }
    continueWalk();
    if (PlayOn == 1) {
        lookAhead();
        askForTick();
    }
}

void Player::takeWaitingAnswers()
{
    if (std::exchange(answerWaiting_, false))
        fileAnswered(); // which puts them off again while a tick or a start still runs
}

// One step of the sequence: past whatever holds it, onto the next folder
// with music when the last has been played out, then the file under the
// cursor opened, or the folder's end dealt with; the yield at the end lets
// the window's events (a completion, Stop, Skip) in before the end checks.
void Player::tick()
{
    if (tickHeld())
        return;

    const std::uint64_t stopsBefore = stops_;
    FirstFileCopy = FirstFile;

    if (controls_.ckSub() == 1 && FirstFileCopy.empty()) {
        const bool found = FindNextFolder();
        if (stops_ != stopsBefore)
            return; // stopped during the folder search: the sequence is over
        if (!found) {
            treeEnded();
            return;
        }
    }

    if (FirstFileCopy.empty()) {
        if (yieldInTick(stopsBefore))
            endChecks();
        return;
    }

    if (BuildList)
        buildFolderList();

    if (PlayIndex < playListCount())
        openAtCursor();
    else if (!folderPlayedOut())
        return;
    if (yieldInTick(stopsBefore))
        endChecks();
}

// True when this tick does nothing more: the next round waits for the file
// system or has yet to reach its play path, or the hold (see TickHold) keeps
// the sequence where it is.
bool Player::tickHeld()
{
    if (start_.holdsTicks())
        return true; // the next round waits for the file system, or is still starting
    switch (hold_.tick(Paused)) {
    case TickHold::Step::Go:
        return false;
    case TickHold::Step::Wait:
        return true;
    case TickHold::Step::Restart:
        restartTree();
        return true;
    case TickHold::Step::Check:
        return !playPathChecked();
    }
    return false;
}

// The folder search has run out of folders: the tree has been played.
void Player::treeEnded()
{
    // Stop would clear Paused and the tree would start again with sound; a
    // paused player waits here for the resume instead.
    if (Paused && treeRepeat())
        return;
    if (treeRepeatHeld())
        return;
    if (DeviceReady == 1) {
        // The folders may have run out because the medium has gone (their
        // listings failed): then the sequence waits for it, and the place
        // is kept, rather than the tree ending.
        if (!treeRepeat() && !playPathChecked())
            return;
        stopAtTreeEnd();
    }
    endChecks();
}

// The play list of the folder just reached, the cursor at its start, or at
// the file a sequence that plays on by itself had got to.
void Player::buildFolderList()
{
    BuildPlayList();
    if (PlayList)
        nameFolderAhead(*PlayList);
    if (!rereadAsked_) // (the repeated folder's new reading is still to be taken)
        fs_.forgetListing(File1.Path(), ListPattern::Mp3Files); // in PlayList now
    BuildList = false;
    PlayIndex = 0;
    if (place_.seeking())
        PlayIndex = place_.steer(File1.Path(), *PlayList, controls_.optDate());
}

// The entry under the cursor becomes the next file, and is opened and played
// once the device is free.
void Player::openAtCursor()
{
    NextFile = (*PlayList)[static_cast<std::size_t>(PlayIndex)].path;
    // Not while paused: a Pause that falls between one file's end and the
    // next tick would otherwise let that tick start the next file, and the
    // resume would then pause it.
    if (DeviceReady != 1 || PlayOn != 1 || Paused || passHeld())
        return;
    PassLook look(*this, 0); // an open is dear where the device keeps failing
    MMControl1.setFileName(NextFile);
    MMControl1.setCommand("Open");
    place_.opening(File1.Path(), (*PlayList)[static_cast<std::size_t>(PlayIndex)]);
    lastHeardFolder_ = File1.Path();
    setPlaying(NextFile); // before "Play", whose completion may come at once
    sleep_.fileBegins(NextFile);
    MMControl1.setCommand("Play");
    DeviceReady = 0;
    ++PlayIndex;
    MMControl1.setNextFileName(nextFileHint());
    lookAhead();
}

// The cursor has passed the folder's last entry. Once the last file has
// ended, the sequence moves on (or, repeating one folder, comes round); false
// when the tick ends here, its end checks made.
bool Player::folderPlayedOut()
{
    if (PlayIndex == playListCount() && DeviceReady == 1) {
        // The folder's last file has ended.
        BuildList = true;
        if (!singleFolderRepeat())
            FirstFile.clear();
        askForTick(); // to move on at once, not one interval later
    }
    if (cursorPastEnd()) {
        endChecks();
        return false;
    }
    if (singleFolderRepeat()) {
        readFolderAgain();
        PlayIndex = 0;
        hold_.passComesRound();
        if (DeviceReady == 1)
            endPass(); // the last file has ended already
    }
    return true;
}

// Lets the window's events through; false when one of them was a Stop, after
// which the tick must not go on to its end checks (tree repeat would start
// the sequence again at once).
bool Player::yieldInTick(std::uint64_t stopsBefore)
{
    ui_.yield();
    return stops_ == stopsBefore;
}

void Player::endChecks()
{
    if (cursorPastEnd() && DeviceReady == 1 && treeRepeat())
        cmdPlay_Click(); // the Stop that has just ended the round put the cursor back
    if (PlayList && PlayIndex == playListCount() && DeviceReady == 1 && controls_.ckSub() == 0
        && controls_.ckRepeat() == 0)
        cmdStop_Click();
}

// The folder of a single-folder repeat is read again at each pass, so files
// added or removed since the last one count in the next; the play list is
// built again only when the folder's files have changed.
void Player::readFolderAgain()
{
    const std::vector<std::string> before = File1.names();
    if (!rereadAsked_) {
        fs_.forgetFolder(File1.Path()); // what was read for the last pass is old now
        rereadAsked_ = true;
    }
    PassLook look(*this, 1);
    try {
        File1.setPath(File1.Path());
    } catch (const std::exception&) {
        // Gone or unreadable (a medium taken away): nothing to play until it
        // can be read again.
    }
    rereadAsked_ = false;
    if (File1.names() != before)
        BuildPlayList();
    fs_.forgetListing(File1.Path(), ListPattern::Mp3Files);
}

// Ends the pass now that it has come round and the device is free.
void Player::endPass()
{
    hold_.endPass();
}

// True while the next pass must wait; ends a pass that has come round.
bool Player::passHeld()
{
    if (hold_.passOver() && DeviceReady == 1)
        endPass();
    return hold_.counting();
}

// At the end of a repeated tree the next round waits, in the playing
// arrangement, when this one played nothing or the play path has gone (a
// medium taken away, a share gone): nobody pressed Play for the next round,
// so it neither ends the sequence nor asks anybody anything.
bool Player::treeRepeatHeld()
{
    if (!treeRepeat() || DeviceReady != 1)
        return false;
    if (hold_.passPlayed() && fs_.folderExists(controls_.Text1()))
        return false;
    endPass();
    hold_.nextRoundWaits();
    return true;
}

// The play path of a repeated tree is not there (yet) for its next round:
// looked for again after a wait, as a round that played nothing.
void Player::awaitPlayPath()
{
    hold_.playPathAway();
}

// The next round of a repeated tree whose last round played nothing, or
// whose play path had gone: the walk is made again and the play path comes
// first, as after the tree's end with Stop, but the controls stay as they
// are, since nothing has ended for the user.
void Player::restartTree()
{
    PlayIndex = 0;
    List1.Clear();
    List2.clear();
    newStart(true);
}

// After a failure: true when the play path is there, and the tick goes on
// (a file that cannot be played is passed over, a medium gone is back);
// otherwise the sequence waits for it. Throws FileAnswerPending until the
// file system has answered afresh.
bool Player::playPathChecked()
{
    if (hold_.checkAsked())
        fs_.forgetFolder(controls_.Text1()); // what is known of it may be from before the failure
    bool there = false;
    {
        PassLook look(*this, 0);
        there = fs_.folderExists(controls_.Text1());
    }
    if (!there) {
        awaitMedium();
        return false;
    }
    const bool treeEnd = hold_.why() == TickHold::Why::Medium && !hold_.failedFolder() && hold_.failedFile().empty();
    if (hold_.why() == TickHold::Why::Medium)
        fs_.forgetBefore(fs_.mark()); // what was read while it was away tells nothing now
    hold_.playPathThere();
    if (treeEnd) {
        // The tree had run out while the medium was away, its walk cut
        // short: the sequence starts again from its place.
        PlayIndex = 0;
        List1.Clear();
        List2.clear();
        newStart();
        return false;
    }
    return true;
}

// The play path has gone from under the sequence (a medium taken away, a
// share gone): the file or folder that failed is no file that cannot be
// played. The sequence goes back to it and waits there, in the playing
// arrangement, for the play path to come back; the file then plays on from
// where it was, as after a sound device that went.
void Player::awaitMedium()
{
    if (hold_.why() == TickHold::Why::Failed) {
        if (!hold_.failedFile().empty() && PlayList) {
            const auto& list = *PlayList;
            const auto it = std::find_if(list.begin(), list.end(),
                                         [&](const PlayListEntry& e) { return e.path == hold_.failedFile(); });
            if (it != list.end()) {
                PlayIndex = it - list.begin();
                place_.deviceLost();
            }
        } else if (hold_.failedFolder()) {
            FolderIndex = *hold_.failedFolder() - 1; // the folder search comes to it again
            FirstFile.clear();
            FirstFileCopy.clear();
        }
    }
    hold_.mediumGone();
}

void Player::MMControl1_Done(int notifyCode)
{
    const std::string heard = playing_;
    DeviceReady = 1;
    closeControl();
    if (notifyCode == MMControl::NotifyNoDevice) {
        awaitDevice(heard);
        return;
    }
    // A file that could not be played is followed at the next tick, so that a
    // folder of such files is not tried in a tight loop; that tick first
    // makes sure the play path is still there.
    if (notifyCode == MMControl::NotifyFailure) {
        if (PlayOn == 1)
            hold_.fileFailed(heard);
        return;
    }
    hold_.heard();
    pauseAtEnd();
    askForTick(); // the next file follows at once, not one interval later
}

// A device that has gone (a sound server killed, a USB or Bluetooth output
// pulled) is not a file that cannot be played: the file goes back under the
// cursor, to be tried again after a wait that grows while the device stays
// away, and the rest of the tree waits behind it.
void Player::awaitDevice(const std::string& heard)
{
    if (PlayOn != 1)
        return;
    bool underCursor = false;
    if (PlayList) {
        const auto& list = *PlayList;
        const auto it = std::find_if(list.begin(), list.end(), [&](const PlayListEntry& e) { return e.path == heard; });
        if (it != list.end()) {
            PlayIndex = it - list.begin();
            underCursor = true;
            deviceWaitFile_ = heard;
            place_.deviceLost(); // and it plays on from where it was
        }
    }
    hold_.deviceLost(underCursor);
}

// Skip while a file waits for its sound device: the user wants the next
// file, which is tried at once (and waits for the device in turn); the one
// that waited is passed over as a file that has ended.
bool Player::skipDeviceWait()
{
    if (DeviceReady != 1 || deviceWaitFile_.empty())
        return false;
    if (PlayList && PlayIndex < playListCount() && (*PlayList)[static_cast<std::size_t>(PlayIndex)].path == deviceWaitFile_)
        ++PlayIndex;
    deviceWaitFile_.clear();
    place_.lostPassed();
    hold_.deviceWaitSkipped();
    askForTick();
    return true;
}

// --- TickHold: every change of the hold --------------------------------------

void TickHold::sequenceBegins()
{
    passPlayed_ = false;
    passWork_ = 0;
    passLook_ = {};
    deviceWait_ = 0;
}

void TickHold::stopped()
{
    why_ = Why::None;
    ticks_ = 0;
    passOver_ = false;
    mediumWait_ = 0;
    checkAsked_ = false;
    failedFile_.clear();
    failedFolder_.reset();
}

void TickHold::looked(std::int64_t folders, Clock::duration time)
{
    passWork_ += folders;
    passLook_ += time;
}

void TickHold::heard()
{
    deviceWait_ = 0;
    passPlayed_ = true;
}

// A pass that played nothing makes the next wait at least one whole interval
// (the first tick may come a moment after this one), longer the more it had
// to look at and the longer that took.
void TickHold::endPass()
{
    passOver_ = false;
    if (!passPlayed_) {
        ticks_ = std::max({ticks_, 1 + passWork_ / WorkPerHeldTick, ticksFor(passLook_ * WaitPerLook)});
        if (why_ == Why::None)
            why_ = Why::EmptyPass;
    }
    passPlayed_ = false;
    passWork_ = 0;
    passLook_ = {};
}

void TickHold::nextRoundWaits()
{
    why_ = Why::NextRound;
}

void TickHold::playPathAway()
{
    passPlayed_ = false;
    endPass();
    nextRoundWaits();
}

void TickHold::deviceLost(bool underCursor)
{
    if (underCursor)
        passOver_ = false; // the round has not come round after all
    deviceWait_ = std::clamp<std::int64_t>(deviceWait_ * 2, 1, MaxDeviceWaitTicks);
    ticks_ = std::max(ticks_, deviceWait_);
    why_ = Why::Device;
}

void TickHold::deviceWaitSkipped()
{
    ticks_ = 0;
    why_ = Why::None;
}

void TickHold::fileFailed(const std::string& file)
{
    if (why_ != Why::None && why_ != Why::EmptyPass)
        return; // already held for more than a file
    why_ = Why::Failed;
    failedFile_ = file;
    failedFolder_.reset();
    checkAsked_ = false;
}

void TickHold::folderFailed(std::int64_t folderIndex)
{
    if (why_ != Why::None && why_ != Why::EmptyPass)
        return;
    why_ = Why::Failed;
    failedFile_.clear();
    failedFolder_ = folderIndex;
    checkAsked_ = false;
}

bool TickHold::checkAsked()
{
    return !std::exchange(checkAsked_, true);
}

void TickHold::mediumGone()
{
    if (why_ == Why::Failed)
        passOver_ = false; // the sequence goes back to what failed
    why_ = Why::Medium;
    mediumWait_ = std::clamp<std::int64_t>(mediumWait_ * 2, 1, MaxDeviceWaitTicks);
    ticks_ = std::max(ticks_, mediumWait_);
    checkAsked_ = false;
}

void TickHold::playPathThere()
{
    why_ = Why::None;
    mediumWait_ = 0;
    checkAsked_ = false;
    failedFile_.clear();
    failedFolder_.reset();
}

TickHold::Step TickHold::tick(bool paused)
{
    if (ticks_ > 0) {
        --ticks_;
        return Step::Wait;
    }
    switch (why_) {
    case Why::NextRound:
        if (paused)
            return Step::Wait;
        why_ = Why::None;
        return Step::Restart;
    case Why::Failed:
    case Why::Medium:
        return Step::Check;
    case Why::None:
    case Why::EmptyPass:
    case Why::Device:
        why_ = Why::None;
        return Step::Go;
    }
    return Step::Go;
}

} // namespace orvane
