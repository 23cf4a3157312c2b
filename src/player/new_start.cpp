// Play's new start: the play path checked and probed, the walk begun, the
// first folder listed, and the first tick asked for so that music starts at
// once while the walk goes deeper in the yields.
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

// quiet: the next pass of a repeated tree, made while the controls stay in
// the playing arrangement. byItself: played on from the stored place by
// itself at program start; paused: and back in the pause it was left in.
void Player::newStart(bool quiet, bool byItself, bool paused)
{
    // A new start reads the tree afresh, all but what the look-ahead has read
    // for it as the last round ended.
    fs_.forgetBefore(roundMark_ ? *roundMark_ : fs_.mark());
    roundMark_.reset();
    start_.ask(quiet, byItself, paused);
    prepareRound(quiet);
    beginStart();
}

// The start asked for, run again when the answers it waited for come in.
// The answers that come while it runs (in its yields) wait for its end.
void Player::beginStart()
{
    const StartState::Frame start = start_.enter();
    startNow(start);
    start_.leave(start);
    if (!start_.running())
        takeWaitingAnswers();
}

void Player::startNow(const StartState::Frame& start)
{
    const bool quiet = start.quiet;
    if (!startAnswersReady(quiet) || !playPathFound(quiet))
        return;
    beginSequence(start);

    // A tick in these yields (the timer runs on through a round's new start)
    // would take the last round's folder and list for this one's: the start
    // holds the ticks until it has settled.
    const std::uint64_t walk = walkPlayPath(quiet);
    if (PlayOn == 0) {
        dropStoppedWalk();
        return;
    }
    if (walk != walkSerial_ || !start_.current(start))
        return; // a Play during the yields has made a newer start, which goes on by itself
    if (!listPlayPath())
        return;
    FolderIndex = 0;
    BuildList = true;
    start_.settled(start);

    if (!quiet)
        controls_.arrange(PlayState::Idle, PlayState::Playing);
    // Paused before the first tick, which then opens nothing: the place comes
    // back as silent as it was left.
    if (start.paused && !Paused)
        cmdPause_Click();
    askForTick(); // the first file plays at once, not one interval later
    ui_.setMousePointer(UiHost::PointerDefault);

    ui_.yield(); // where that first tick runs, before the walk goes deeper
    walkRest(walk); // the ticks, and the music, go on in its yields
}

// A play path that is not there answers Play with the error box; for the
// next round of a repeated tree it is waited for instead.
bool Player::playPathFound(bool quiet)
{
    const bool there = [this] {
        PassLook look(*this, 0);
        return fs_.folderExists(controls_.Text1());
    }();
    if (there)
        return true;
    if (quiet)
        awaitPlayPath();
    else
        ui_.messageBox(PathErrorText, UiHost::MsgBoxExclamation, PathErrorTitle);
    return false;
}

// The sequence begins afresh: nothing held over from the last one, the
// control closed and set for the files to come, the play path's first file.
// The hold, the held restart, a pass come round and the cursor need nothing
// here: the Stop or the restart of a round that comes before every start has
// cleared them. Nor does a file waiting for its device: the cursor stays on it
// until an open or a Skip, which end the wait.
void Player::beginSequence(const StartState::Frame& start)
{
    place_.sequenceStarts(controls_.Text1(), controls_.optDate(), controls_.ckSub(), start.quiet, start.byItself,
                          round_);
    PlayOn = 1;
    DeviceReady = 1;
    hold_.sequenceBegins();

    closeControl();
    MMControl1.setNotify(false);
    MMControl1.setWait(true);
    MMControl1.setShareable(false);

    try {
        PassLook look(*this, 1);
        FirstFile = ProbeFolder(playPathPattern());
    } catch (const std::exception&) {
        FirstFile.clear(); // an unreadable play path holds nothing to play
    }
}

// Stop was pressed while the walk yielded: the sequence is over before it
// began. Stop has set the idle arrangement; what the walk added goes.
void Player::dropStoppedWalk()
{
    endWalk();
    List1.Clear();
    ui_.setMousePointer(UiHost::PointerDefault);
}

// The play path's own files, which play first; false when the start must
// wait for them again.
bool Player::listPlayPath()
{
    try {
        PassLook look(*this, 0);
        File1.setPath(startFolder());
    } catch (const std::exception&) {
        // Left empty: the first tick then finds nothing to play here.
    } catch (const FileAnswerPending&) {
        // Forgotten during the yields by a newer start (a Play made in them),
        // which waits for it itself.
        return false;
    }
    return true;
}

// Asks for everything a new start reads of the play path, so that the start
// then runs through without waiting; true when all of it is there.
bool Player::startAnswersReady(bool quiet)
{
    if (fs_.immediate())
        chooseRoundFirst();
    if (fs_.immediate() || askStartAhead()) {
        if (start_.ready())
            ui_.setMousePointer(UiHost::PointerDefault);
        return true;
    }
    if (start_.wait())
        ui_.setMousePointer(UiHost::PointerHourglass);
    if (!quiet && tickRunning_ && PlayOn == 0) {
        // The next round of a repeated tree, after the Stop that ended the
        // last: nothing has ended for the user, who sees it playing still.
        PlayOn = 1;
        controls_.arrange(PlayState::Idle, PlayState::Playing);
    }
    return false;
}

bool Player::askStartAhead()
{
    bool ready = true;
    const auto ask = [&ready](auto read) {
        try {
            read();
        } catch (const FileAnswerPending&) {
            ready = false;
        } catch (const std::exception&) {
            // Known to fail: the start deals with that as it reads it.
        }
    };
    ask([&] { fs_.folderExists(controls_.Text1()); });
    ask([&] { chooseRoundFirst(); });
    ask([&] { ProbeFolder(playPathPattern()); });
    ask([&] { fs_.listFolder(walkRoot(), ListPattern::All); });
    ask([&] { fs_.listFolder(startFolder(), ListPattern::Mp3Files); });
    return ready;
}

} // namespace orvane
