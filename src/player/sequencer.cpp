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
// music comes back within a few seconds of a device.
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
    tickRunning_ = false;
    if (tickAsked_)
        askForTick(); // asked for while this tick ran
    takeWaitingAnswers();
}

// What the file system's answers set going: a start that waited for them, the
// walk, the look-ahead and the tick that waited.
void Player::fileAnswered()
{
    if (tickRunning_ || start_.running()) {
        answerWaiting_ = true; // taken up as the tick or the start ends
        return;
    }
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
// system or has yet to reach its play path, or a pass that played nothing
// holds the next one back.
bool Player::tickHeld()
{
    if (start_.holdsTicks())
        return true; // the next round waits for the file system, or is still starting
    if (holdTicks_ > 0) {
        --holdTicks_;
        return true;
    }
    if (restartHeld_) {
        if (!Paused)
            restartTree();
        return true;
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
    if (DeviceReady == 1)
        stopAtTreeEnd();
    endChecks();
}

// The play list of the folder just reached, the cursor at its start, or at
// the file a sequence that plays on by itself had got to.
void Player::buildFolderList()
{
    BuildPlayList();
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
    setPlaying(NextFile); // before "Play", whose completion may come at once
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
    if (List1.List(FolderIndex).empty()) {
        endChecks();
        return false;
    }
    if (singleFolderRepeat()) {
        readFolderAgain();
        PlayIndex = 0;
        passOver_ = true;
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
    if (List1.List(FolderIndex).empty() && DeviceReady == 1 && treeRepeat())
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
}

// Ends the pass now that it has come round and the device is free. One that
// played nothing makes the next wait at least one whole interval (the first
// tick may come a moment after this one), longer the more it had to look at
// and the longer that took.
void Player::endPass()
{
    passOver_ = false;
    if (!passPlayed_)
        holdTicks_ = std::max({holdTicks_, 1 + passWork_ / WorkPerHeldTick, ticksFor(passLook_ * WaitPerLook)});
    passPlayed_ = false;
    passWork_ = 0;
    passLook_ = {};
}

// True while the next pass must wait; ends a pass that has come round.
bool Player::passHeld()
{
    if (passOver_ && DeviceReady == 1)
        endPass();
    return holdTicks_ > 0;
}

// At the end of a repeated tree the next round waits, in the playing
// arrangement, when this one played nothing or the play path has gone (a
// medium taken away, a share gone): nobody pressed Play for the next round,
// so it neither ends the sequence nor asks anybody anything.
bool Player::treeRepeatHeld()
{
    if (!treeRepeat() || DeviceReady != 1)
        return false;
    if (passPlayed_ && fs_.folderExists(controls_.Text1()))
        return false;
    endPass();
    restartHeld_ = true;
    return true;
}

// The play path of a repeated tree is not there (yet) for its next round:
// looked for again after a wait, as a round that played nothing.
void Player::awaitPlayPath()
{
    passPlayed_ = false;
    endPass();
    restartHeld_ = true;
}

// The next round of a repeated tree whose last round played nothing, or
// whose play path had gone: the walk is made again and the play path comes
// first, as after the tree's end with Stop, but the controls stay as they
// are, since nothing has ended for the user.
void Player::restartTree()
{
    restartHeld_ = false;
    PlayIndex = 0;
    List1.Clear();
    List2.clear();
    newStart(true);
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
    // folder of such files is not tried in a tight loop.
    if (notifyCode == MMControl::NotifyFailure)
        return;
    deviceWaitTicks_ = 0;
    passPlayed_ = true;
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
    if (PlayList) {
        const auto& list = *PlayList;
        const auto it = std::find_if(list.begin(), list.end(), [&](const PlayListEntry& e) { return e.path == heard; });
        if (it != list.end()) {
            PlayIndex = it - list.begin();
            passOver_ = false; // the round has not come round after all
            deviceWaitFile_ = heard;
            place_.deviceLost(); // and it plays on from where it was
        }
    }
    deviceWaitTicks_ = std::clamp<std::int64_t>(deviceWaitTicks_ * 2, 1, MaxDeviceWaitTicks);
    holdTicks_ = std::max(holdTicks_, deviceWaitTicks_);
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
    holdTicks_ = 0;
    askForTick();
    return true;
}

} // namespace orvane
