// Which files play, and in which order: the folder walk, the probe for a
// folder's first ".mp3", the move to the next folder that holds one, and the
// build of a folder's play list.
#include "player/player.h"

#include <algorithm>
#include <exception>

namespace orvane {

namespace {

constexpr const char* Mp3Pattern = "*.mp3";

bool isPageFile(const std::string& name)
{
    static constexpr std::string_view pageFile = "PAGEFILE.SYS";
    return name.size() == pageFile.size()
        && std::equal(name.begin(), name.end(), pageFile.begin(), [](char a, char b) {
               return (a >= 'a' && a <= 'z' ? static_cast<char>(a - 'a' + 'A') : a) == b;
           });
}

// The hourglass from the first time it is shown to the end of the scope.
class HourglassWhileWaiting {
public:
    explicit HourglassWhileWaiting(UiHost& ui) : ui_(ui) {}
    HourglassWhileWaiting(const HourglassWhileWaiting&) = delete;
    HourglassWhileWaiting& operator=(const HourglassWhileWaiting&) = delete;
    ~HourglassWhileWaiting()
    {
        if (shown_)
            ui_.setMousePointer(UiHost::PointerDefault);
    }
    void show()
    {
        if (!shown_)
            ui_.setMousePointer(UiHost::PointerHourglass);
        shown_ = true;
    }

private:
    UiHost& ui_;
    bool shown_ = false;
};

} // namespace

// The play path without its one trailing separator; the file system root keeps
// it, since an empty root would end the folder list at once.
std::string Player::walkRoot() const
{
    std::string root = controls_.Text1();
    const char sep = fs_.separator();
    if (root.size() > 1 && root.back() == sep)
        root.pop_back();
    return root;
}

std::string Player::playPathPattern() const
{
    return joinPath(controls_.Text1(), Mp3Pattern);
}

// The whole walk in one go, yielding after each folder.
void Player::WalkFolders()
{
    ui_.setMousePointer(UiHost::PointerHourglass);
    ui_.yield();
    startWalk();
    walkRest(walkSerial_);
    ui_.setMousePointer(UiHost::PointerDefault);
}

// The walk of a new start, in steps: the play path itself first, so that its
// files can start; the rest of the tree follows between ticks (see startNow),
// or as the sequence needs it. Inside a tick no other tick can run, so there
// the next round of a repeated tree is walked whole before it plays. Returns
// the walk's number.
std::uint64_t Player::walkPlayPath(bool quiet)
{
    if (!quiet)
        ui_.setMousePointer(UiHost::PointerHourglass); // nobody waits on a quiet round
    ui_.yield();
    startWalk();
    const std::uint64_t walk = walkSerial_;
    try {
        walkStep();
    } catch (const FileAnswerPending&) {
        // The root's listing comes later; the walk goes on when it does.
    }
    ui_.yield();
    return walk;
}

// A new walk: List1 holds the root alone, and the root is the next folder to
// list. An older walk still running from one of its yields stops at its next
// folder.
void Player::startWalk()
{
    ++walkSerial_;
    List1.Clear();
    walkLevels_.clear();
    const std::string root = walkRoot();
    List1.AddItem(root);
    walkUnlisted_ = root;
    walkOpen_ = true;
}

// Lists one folder, then puts the next folder in List1's order into List1:
// the first subfolder of the folder just listed, or else the next subfolder
// of the nearest folder above with some left. Nothing yields in here, so
// only one listing is ever open. False once the walk is complete.
bool Player::walkStep()
{
    if (!walkOpen_)
        return false;
    if (walkUnlisted_) {
        std::vector<DirEntry> entries;
        try {
            PassLook look(*this, 1);
            entries = fs_.listFolder(*walkUnlisted_, ListPattern::All);
        } catch (const std::exception&) {
            // A folder that cannot be listed contributes nothing.
        }
        // (A listing still to come has left the walk as it was.)
        const std::string folder = std::move(*walkUnlisted_);
        walkUnlisted_.reset();
        if (folder != walkRoot()) // (a newer start may have asked for the root's again)
            fs_.forgetListing(folder, ListPattern::All); // read once, by the walk alone
        WalkLevel level;
        for (DirEntry& entry : entries) {
            if (entry.name == "." || entry.name == ".." || isPageFile(entry.name))
                continue;
            if (entry.isDirectory())
                level.names.push_back(std::move(entry.name));
        }
        if (!level.names.empty()) {
            level.folder = folder;
            walkLevels_.push_back(std::move(level));
        }
    }
    while (!walkLevels_.empty()) {
        WalkLevel& level = walkLevels_.back();
        if (level.next < level.names.size()) {
            if (!level.sorted) {
                // Names of one folder sort as the paths they make.
                std::sort(level.names.begin(), level.names.end(), lessNoCase);
                level.sorted = true;
            }
            walkUnlisted_ = joinPath(level.folder, level.names[level.next]);
            std::string().swap(level.names[level.next++]);
            List1.AddLast(*walkUnlisted_);
            return true;
        }
        walkLevels_.pop_back();
    }
    walkOpen_ = false;
    return false; // complete
}

// The walk to its end, yielding after each folder, as long as it is still
// the walk that was started (neither a newer walk nor a Stop has come).
void Player::walkRest(std::uint64_t walk)
{
    while (walkOpen_ && walk == walkSerial_) {
        try {
            walkStep();
        } catch (const FileAnswerPending&) {
            return; // the answer's arrival goes on with the walk
        }
        ui_.yield();
    }
}

// The walk as far as the answers at hand take it; each answer that comes
// takes it further. Nothing here waits, so nothing yields.
void Player::continueWalk()
{
    try {
        while (walkStep()) {
        }
    } catch (const FileAnswerPending&) {
        // Asked for: its answer comes back here.
    }
}

// A walk is numbered as it starts; the one ended here stops at its next
// folder because nothing is open any more.
void Player::endWalk()
{
    walkOpen_ = false;
    walkLevels_.clear();
    walkUnlisted_.reset();
}

// List1's entry at index, walking on as far as needed to know it; empty text
// once the walk is complete and the list is shorter.
std::string Player::folderAt(std::int64_t index)
{
    while (List1.ListCount() <= index && walkStep()) {
    }
    return List1.List(index);
}

// Asks for what moving to folder reads, its listing (which brings the dates
// with it and tells the first ".mp3"), and throws FileAnswerPending until it
// is there. A service that answers at once is read only as the steps come.
void Player::needFolder(const std::string& folder)
{
    if (fs_.immediate())
        return;
    try {
        fs_.listFolder(folder, ListPattern::Mp3Files);
    } catch (const std::exception&) {
        // Known to fail: the step that reads it deals with that.
    }
}

// The sequence has come to folder: what the look-ahead found failing there
// (a share's brief hiccup, maybe long ago) is asked again now, once; what it
// read well is taken as it is, so that moving on waits for nothing.
void Player::arriveAt(const std::string& folder)
{
    if (!arrival_ || arrival_->index != FolderIndex || arrival_->folder != folder)
        arrival_ = Arrival{FolderIndex, folder, fs_.mark()};
    fs_.forgetFailures(folder, arrival_->mark);
}

std::string Player::ProbeFolder(const std::string& pattern)
{
    std::string folder = pattern.substr(0, pattern.size() - std::string_view(Mp3Pattern).size());
    if (folder.size() > 1 && folder.back() == fs_.separator())
        folder.pop_back();
    return fs_.firstMp3(folder);
}

bool Player::FindNextFolder()
{
    const std::uint64_t stopsBefore = stops_;
    HourglassWhileWaiting hourglass(ui_);
    while (FirstFileCopy.empty()) {
        if (List1.ListCount() <= FolderIndex + 1 && walkOpen_)
            hourglass.show(); // nothing plays while the walk finds the next folder
        // Whatever is still to come from the file system stops the search
        // here, before it has moved on, and the next tick starts it again.
        const std::string folder = folderAt(FolderIndex + 1);
        ++FolderIndex;
        if (folder.empty())
            return false;
        arriveAt(folder);
        try {
            needFolder(folder);
        } catch (const FileAnswerPending&) {
            --FolderIndex;
            throw;
        }
        // A Stop during the yield ended the sequence this search serves; a
        // Play after it has made a new one, whose folder and first file must
        // not be overwritten by the old search.
        if (!yieldInTick(stopsBefore))
            return false;
        PassLook look(*this, 1);
        try {
            FirstFile = ProbeFolder(joinPath(folder, Mp3Pattern));
            FirstFileCopy = FirstFile;
            File1.setPath(folder);
            if (FirstFile.empty())
                fs_.forgetListing(folder, ListPattern::Mp3Files); // passed: nothing more to read there
        } catch (const std::exception&) {
            // Passed over at the next tick, unless the play path has gone
            // from under a tree that is not repeated (a repeated one waits
            // for it at the round's end).
            FirstFile.clear();
            FirstFileCopy.clear();
            if (!treeRepeat())
                hold_.folderFailed(FolderIndex);
            throw;
        }
    }
    return true;
}

void Player::BuildPlayList()
{
    std::vector<PlayListEntry> table = entriesOf(File1);
    for (const PlayListEntry& entry : table)
        List2.add(entry.path, entry.created);
    if (controls_.optDate())
        SortArray(table, 1);
    PlayList = std::move(table);
}

// The records of a listed folder's files, in the list's order.
std::vector<PlayListEntry> Player::entriesOf(const FileList& files)
{
    std::vector<PlayListEntry> table;
    table.reserve(static_cast<std::size_t>(files.ListCount()));
    for (const std::string& name : files.names()) {
        std::string path = joinPath(files.Path(), name);
        try {
            table.push_back({path, fs_.dateCreated(path)});
        } catch (const FileSystemError&) {
            // Gone since the folder was listed: it could never play, so it is
            // left out rather than failing every build of this folder.
        }
    }
    return table;
}

} // namespace orvane
