// Turning a folder tree into continuous playback: the new start of Play, the
// timer tick that opens one file after another, and the control's completion.
#include "player/player.h"

#include <exception>

namespace orvane {

void Player::cmdPlay_Click()
{
    if (Paused)
        resume();
    else
        newStart();
}

void Player::newStart()
{
    if (!fs_.folderExists(controls_.Text1())) {
        ui_.messageBox(PathErrorText, UiHost::MsgBoxExclamation, PathErrorTitle);
        return;
    }

    PlayOn = 1;
    PlayIndex = 0;
    DeviceReady = 1;

    MMControl1.setCommand("Close");
    MMControl1.setNotify(false);
    MMControl1.setWait(true);
    MMControl1.setShareable(false);

    try {
        FirstFile = ProbeFolder(playPathPattern());
    } catch (const std::exception&) {
        FirstFile.clear(); // an unreadable play path holds nothing to play
    }

    WalkFolders();
    if (PlayOn == 0) {
        // Stop was pressed while the walk yielded: the sequence is over before
        // it began. Stop has set the idle arrangement; drop what the walk added.
        List1.Clear();
        return;
    }

    try {
        File1.setPath(controls_.Text1());
    } catch (const std::exception&) {
        // Left empty: the first tick then finds nothing to play here.
    }
    FolderIndex = 0;
    BuildList = true;

    applyPlayingSet();
    controls_.setEnabled(Ctl::Timer1, true);
}

void Player::applyPlayingSet()
{
    controls_.setEnabled(Ctl::cmdPause, true);
    controls_.setEnabled(Ctl::mnuPause, true);
    for (Ctl c : {Ctl::mnuPlay, Ctl::cmdPlay, Ctl::ckRepeat, Ctl::ckSub, Ctl::optDate,
                  Ctl::optName, Ctl::cmdPath, Ctl::Text1})
        controls_.setEnabled(c, false);
    controls_.setEnabled(Ctl::cmdSkip, true);
    controls_.setEnabled(Ctl::mnuSkip, true);
}

void Player::Timer1_Timer()
{
    // A tick never starts while another runs, not even from one of its yields.
    if (tickRunning_)
        return;
    tickRunning_ = true;
    tickAsked_ = false;
    try {
        tick();
    } catch (...) {
        // A failure ends this tick quietly; the next tick starts afresh.
    }
    tickRunning_ = false;
    if (tickAsked_)
        askForTick(); // asked for while this tick ran
}

void Player::tick()
{
    const std::uint64_t stopsBefore = stops_;
    FirstFileCopy = FirstFile;

    if (controls_.ckSub() == 1 && FirstFileCopy.empty()) {
        const bool found = FindNextFolder();
        if (stops_ != stopsBefore)
            return; // stopped during the folder search: the sequence is over
        if (!found) {
            // Stop would clear Paused and the tree would start again with
            // sound; a paused player waits here for the resume instead.
            if (Paused && treeRepeat())
                return;
            if (DeviceReady == 1)
                cmdStop_Click();
            endChecks();
            return;
        }
    }

    if (FirstFileCopy.empty()) {
        if (yieldInTick(stopsBefore))
            endChecks();
        return;
    }

    if (BuildList) {
        BuildPlayList();
        BuildList = false;
        PlayIndex = 0;
    }

    const std::int64_t n = playListCount();
    if (PlayIndex < n) {
        NextFile = (*PlayList)[static_cast<std::size_t>(PlayIndex)].path;
        // Not while paused: a Pause that falls between one file's end and the
        // next tick would otherwise let that tick start the next file, and the
        // resume would then pause it.
        if (DeviceReady == 1 && PlayOn == 1 && !Paused) {
            MMControl1.setFileName(NextFile);
            MMControl1.setCommand("Open");
            MMControl1.setCommand("Play");
            DeviceReady = 0;
            ++PlayIndex;
            MMControl1.setNextFileName(followingFile());
        }
    } else {
        if (PlayIndex == n && DeviceReady == 1) {
            // The folder's last file has ended.
            BuildList = true;
            if (!singleFolderRepeat())
                FirstFile.clear();
            askForTick(); // to move on at once, not one interval later
        }
        if (List1.List(FolderIndex).empty()) {
            endChecks();
            return;
        }
        if (singleFolderRepeat())
            PlayIndex = 0;
    }
    if (yieldInTick(stopsBefore))
        endChecks();
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
    if (List1.List(FolderIndex).empty() && DeviceReady == 1 && treeRepeat()) {
        PlayIndex = 0;
        cmdPlay_Click();
    }
    if (PlayList && PlayIndex == playListCount() && DeviceReady == 1 && controls_.ckSub() == 0
        && controls_.ckRepeat() == 0)
        cmdStop_Click();
}

void Player::MMControl1_Done(int /*notifyCode*/)
{
    DeviceReady = 1;
    MMControl1.setCommand("Close");
    askForTick(); // the next file follows at once, not one interval later
}

} // namespace orvane
