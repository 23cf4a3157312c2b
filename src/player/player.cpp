#include "player/player.h"

#include <chrono>
#include <random>
#include <stdexcept>

namespace orvane {

Player::Player(MMControl& mmControl, FileSystem& fs, UiHost& ui)
    : Player(mmControl, std::make_unique<ImmediateFileService>(fs), nullptr, ui)
{
}

Player::Player(MMControl& mmControl, FileService& files, UiHost& ui)
    : Player(mmControl, nullptr, &files, ui)
{
}

Player::Player(MMControl& mmControl, std::unique_ptr<FileService> own, FileService* files, UiHost& ui)
    : File1(files ? *files : *own)
    , ownFiles_(std::move(own))
    , MMControl1(mmControl)
    , fs_(files ? *files : *ownFiles_)
    , ui_(ui)
    , place_(mmControl)
{
    drawSeed = [] {
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        return mixSeed((static_cast<std::uint64_t>(std::random_device{}()) << 32) ^ static_cast<std::uint64_t>(now));
    };
    MMControl1.setDoneHandler([this](int notifyCode) { MMControl1_Done(notifyCode); });
    controlHeard_ = MMControl1.nowPlayingChanged().connect([this] { nowPlayingChanged_.notify(); });
    filesHeard_ = fs_.answered().connect([this] { fileAnswered(); });
}

Player::~Player()
{
    MMControl1.setDoneHandler(nullptr); // the control may outlive the player and end a file after it
    fs_.answered().disconnect(filesHeard_);
    MMControl1.nowPlayingChanged().disconnect(controlHeard_);
}

void Player::closeControl()
{
    MMControl1.setCommand("Close");
    setPlaying({});
}

void Player::setPlaying(const std::string& path)
{
    if (!path.empty())
        deviceWaitFile_.clear(); // a file is opened: none waits under the cursor now
    if (playing_ == path)
        return;
    playing_ = path;
    nowPlayingChanged_.notify();
}

std::int64_t Player::playListCount() const
{
    if (!PlayList)
        throw std::logic_error("no play list has been built");
    return static_cast<std::int64_t>(PlayList->size());
}

bool Player::singleFolderRepeat() const
{
    return controls_.ckSub() == 0 && controls_.ckRepeat() == 1;
}

bool Player::treeRepeat() const
{
    return controls_.ckSub() == 1 && controls_.ckRepeat() == 1;
}

std::string Player::joinPath(const std::string& folder, const std::string& name) const
{
    if (!folder.empty() && folder.back() == fs_.separator())
        return folder + name;
    return folder + fs_.separator() + name;
}

} // namespace orvane
