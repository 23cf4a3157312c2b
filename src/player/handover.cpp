// What lets one file follow the previous without a gap: the tick comes at once
// when the device has become free, and the media control learns in advance
// which file the sequence will open next.
#include "player/player.h"

#include <algorithm>
#include <exception>

namespace orvane {

namespace {

// How many folders past the current one the look-ahead examines for the next
// file; beyond that the folder change simply starts its file when it comes.
constexpr std::int64_t LookAheadFolders = 8;

} // namespace

// Asks the window for a tick now rather than at the next interval. A request
// made while a tick runs (a completion handled during its yield) may find that
// tick still busy, so the tick asks again when it ends.
void Player::askForTick()
{
    if (hold_.counting())
        return; // a pass that played nothing waits for the timer's own ticks
    tickAsked_ = true;
    if (!tickRunning_ && controls_.enabled(Ctl::Timer1))
        ui_.requestTick();
}

// The file the sequence will open after the one just opened, found without
// changing anything: the next entry of the play list; at its end, the first
// entry again for single-folder repeat, or the first file the next folder with
// files will play; at the end of the tree, with tree repeat, the first file of
// the new pass. Empty when it cannot be known.
std::string Player::followingFile()
{
    const std::int64_t n = playListCount();
    if (PlayIndex < n)
        return (*PlayList)[static_cast<std::size_t>(PlayIndex)].path;
    if (singleFolderRepeat())
        return n > 0 ? PlayList->front().path : std::string{};
    if (controls_.ckSub() == 1)
        return firstFileAfter(FolderIndex);
    return {};
}

// The first file of the first folder after folderIndex in List1 whose play list
// will not be empty, as FindNextFolder and BuildPlayList will find it; folders
// that cannot be read are passed over as they will be. Past the last folder,
// tree repeat starts again with the play path, and the walk made then finds
// the folders this one found, unless the tree changes meanwhile. nextRound:
// folderIndex is already in that next round.
std::string Player::firstFileAfter(std::int64_t folderIndex, bool nextRound)
{
    for (std::int64_t i = folderIndex + 1; i <= folderIndex + LookAheadFolders; ++i) {
        // The new start lists the play path as the user typed it.
        std::string folder = i == 0 ? controls_.Text1() : folderAt(i);
        bool roundsFirst = false;
        if (folder.empty()) {
            if (folderIndex < 0 || nextRound || !treeRepeat())
                return {};
            if (round_) {
                // The next shuffled round begins with the folder its seed
                // chooses, found as its start will find it.
                folder = firstFolderFor(nextRoundSeed());
                roundsFirst = true;
            } else {
                lookIntoNextRound();
                return firstFileAfter(-1, true);
            }
        }
        try {
            if (nextRound && i > 0)
                readForNextRound(folder);
            needFolder(folder);
            FileList files(fs_);
            files.setPath(folder);
            std::vector<PlayListEntry> table = entriesOf(files);
            if (controls_.optDate())
                SortArray(table, 1);
            nameFolderAhead(table);
            if (!table.empty() || roundsFirst)
                return table.empty() ? std::string() : table.front().path;
        } catch (const std::exception&) {
            // An unreadable folder plays nothing; the next one is looked at.
            if (roundsFirst)
                return {};
        }
    }
    return {};
}

// The files of a folder that plays now or is read ahead, for the media
// control to level them as one album.
void Player::nameFolderAhead(const std::vector<PlayListEntry>& table)
{
    std::vector<std::string> paths;
    paths.reserve(table.size());
    for (const PlayListEntry& entry : table)
        paths.push_back(entry.path);
    if (!paths.empty())
        MMControl1.setFolderAhead(paths);
}

// The hint for the file just opened. Where the file system has still to
// answer for it, the hint is left empty for now and given when the answers
// are in (see lookAhead).
std::string Player::nextFileHint()
{
    hintUnknown_ = false;
    if (PlayList && sleep_.pausesAfter(PlayIndex >= playListCount()))
        return {}; // the music pauses after the file heard: nothing may follow it
    try {
        return followingFile();
    } catch (const FileAnswerPending&) {
        hintUnknown_ = true;
        hintFolder_ = FolderIndex;
        hintIndex_ = PlayIndex;
        return {};
    }
}

// While a file plays, the next folder with files is read ahead (walked to,
// listed, its dates read) so that moving on to it waits for nothing; each
// answer that comes takes this one step further. The hint waiting for those
// answers is given once they are in, if the sequence has not moved meanwhile.
void Player::lookAhead()
{
    if (fs_.immediate() || PlayOn != 1)
        return;
    if (hintUnknown_ && DeviceReady == 0 && FolderIndex == hintFolder_ && PlayIndex == hintIndex_) {
        const std::string next = nextFileHint();
        if (!hintUnknown_ && !next.empty())
            MMControl1.setNextFileName(next);
        return;
    }
    if (controls_.ckSub() != 1)
        return; // a single folder: its files are all read already
    try {
        // Two folders with files ahead: the next one is ready well before the
        // folder playing ends, whatever the share's calls add up to.
        const std::string next = firstFileAfter(FolderIndex);
        const std::int64_t nextFolder = indexOfFolderOf(next);
        if (nextFolder > FolderIndex)
            firstFileAfter(nextFolder);
        else if (nextFolder >= 0 && !round_ && !walkLeftOut_)
            firstFileAfter(nextFolder, true); // come round into the next round: its second folder with files
    } catch (const FileAnswerPending&) {
        // Asked for; its answer brings the look-ahead back here.
    }
}

// List1's index of the folder holding path; -1 when it is not there.
std::int64_t Player::indexOfFolderOf(const std::string& path) const
{
    const std::size_t cut = path.find_last_of(fs_.separator());
    if (cut == std::string::npos)
        return -1;
    const std::string folder = path.substr(0, cut == 0 ? 1 : cut);
    if (round_) {
        if (folder == startFolder())
            return 0;
        const std::int64_t held = roundIndex_.built() ? List1.IndexOf(folder) : -1;
        const std::int64_t index = held >= 0 ? roundIndex_.placeOf(static_cast<std::uint32_t>(held)) - roundShift_ : -1;
        return index > 0 ? index : -1; // (before the start's folder: passed in this round)
    }
    return List1.IndexOf(folder);
}

// The look-ahead has reached the end of the tree, and the next round starts
// with the play path: what the new start reads is asked for now, and kept
// through the Stop that ends this round.
void Player::lookIntoNextRound()
{
    if (fs_.immediate())
        return;
    if (!roundMark_) {
        // The play path is read afresh for the new round: what this round
        // read of it is old by now.
        roundMark_ = fs_.mark();
        roundRead_.clear();
        fs_.forgetFolder(controls_.Text1());
        fs_.forgetFolder(walkRoot());
    }
    PassLook look(*this, 0); // the next round's looking, begun in this one
    askStartAhead();
}

// A folder the look-ahead reaches in the next round is read afresh for it,
// once: its listings (the walk's, which places the folders after it, and its
// ".mp3" files). The new start then keeps them, as it keeps the play path's,
// so that the new round's first file is opened at once (it already sounds,
// taken over from the hint) and the file after it is hinted as it opens,
// rather than once the new walk has got that far on the share.
void Player::readForNextRound(const std::string& folder)
{
    if (fs_.immediate() || !roundMark_
        || std::find(roundRead_.begin(), roundRead_.end(), folder) != roundRead_.end())
        return;
    roundRead_.push_back(folder);
    fs_.forgetFolder(folder);
    PassLook look(*this, 0);
    // The ".mp3" listing first: the first file waits for it, the walk can wait.
    for (const ListPattern pattern : {ListPattern::Mp3Files, ListPattern::All}) {
        try {
            fs_.listFolder(folder, pattern);
        } catch (const FileAnswerPending&) {
            // Asked for.
        } catch (const std::exception&) {
            // Known to fail: the new round deals with that as it reads it.
        }
    }
}

} // namespace orvane
