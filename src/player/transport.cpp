// Pause, resume, Skip and Stop, and their twins in the tray menu.
#include "player/player.h"

namespace orvane {

void Player::cmdPause_Click()
{
    MMControl1.setCommand("pause");
    Paused = true;
    controls_.arrange(PlayState::Playing, PlayState::Paused);
    place_.pauseChanged(true);
}

void Player::resume()
{
    MMControl1.setCommand("pause"); // on the paused file this resumes it
    Paused = false;
    controls_.arrange(PlayState::Paused, PlayState::Playing);
    place_.pauseChanged(false);
    if (start_.stage() == StartState::Stage::Waiting)
        beginStart(); // the round that waited goes on with what has come in
}

void Player::cmdSkip_Click()
{
    if (skipDeviceWait())
        return;
    // Exactly what the control's completion does: the file counts as finished.
    DeviceReady = 1;
    closeControl();
}

void Player::cmdStop_Click()
{
    ++stops_;
    place_.forget(); // Play after Stop starts the tree from its first file
    fs_.dropPending(); // whatever the sequence still waits for comes too late
    if (start_.stop()) // a start waiting, or a place check, goes no further
        ui_.setMousePointer(UiHost::PointerDefault);
    roundMark_.reset();
    rereadAsked_ = false;
    // The next start clears the device wait and the pass's end as it begins;
    // the hint is made afresh at its first open.
    hold_.stopped();
    controls_.setEnabled(Ctl::Timer1, false);
    closeControl();
    Paused = false;
    PlayOn = 0;
    PlayIndex = 0;
    // Paused or not, the whole idle arrangement: from playing, every row that differs.
    controls_.arrange(PlayState::Playing, PlayState::Idle);
    endWalk(); // a walk still going on between ticks adds nothing more
    round_.reset();
    for (auto i = List1.ListCount() - 1; i >= 0; --i)
        List1.RemoveItem(i);
    List2.clear();
}

// Like a Stop to whatever handler is still in its yields (a tick looking
// for the next folder, a start walking the tree), which ends there and opens
// nothing; but unlike Stop it keeps the place, which the program's next start
// goes on from.
void Player::programEnds(bool closedByUser)
{
    place_.programEnds(closedByUser); // where the control is, before it closes
    ++stops_;
    PlayOn = 0;
    if (start_.stop())
        ui_.setMousePointer(UiHost::PointerDefault);
    endWalk();
    closeControl();
}

// The Stop that ends a round of a repeated tree keeps what the look-ahead has
// read for the next round, which starts at once.
void Player::stopAtTreeEnd()
{
    const std::optional<std::uint64_t> mark = roundMark_;
    cmdStop_Click();
    roundMark_ = mark;
}

void Player::mnuPlay_Click()
{
    cmdPlay_Click();
    if (trayRefresh)
        trayRefresh(TrayImagePlaying);
}

void Player::mnuPause_Click()
{
    cmdPause_Click();
    if (trayRefresh)
        trayRefresh(TrayImagePaused);
}

void Player::mnuSkip_Click()
{
    cmdSkip_Click();
}

void Player::mnuStop_Click()
{
    cmdStop_Click();
    if (trayRefresh)
        trayRefresh(TrayImagePlaying);
}

} // namespace orvane
