// Which files play, and in which order: the folder walk, the probe for a
// folder's first ".mp3", the move to the next folder that holds one, and the
// build of a folder's play list.
#include "player/player.h"

#include <algorithm>
#include <exception>
#include <string_view>

namespace orvane {

namespace {

constexpr const char* Mp3Pattern = "*.mp3";

// How many folders the search for a shuffled round's first folder looks at,
// at most, before it leaves the rest to the walk.
constexpr int FirstFolderLooks = 64;

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

// Whether folder is root or a folder inside it, named as the walk names
// one: no empty, "." or ".." part that would lead out of it (a part ends at
// the separator, and at '/', which Windows takes for one too).
bool inside(const std::string& root, const std::string& folder, char sep)
{
    if (folder == root)
        return true;
    const std::string prefix = !root.empty() && root.back() == sep ? root : root + sep;
    if (folder.size() <= prefix.size() || folder.compare(0, prefix.size(), prefix) != 0)
        return false;
    const char seps[] = {sep, '/', '\0'};
    for (std::size_t from = prefix.size(); from <= folder.size();) {
        const std::size_t to = std::min(folder.find_first_of(seps, from), folder.size());
        const std::string_view part = std::string_view(folder).substr(from, to - from);
        if (part.empty() || part == "." || part == "..")
            return false;
        from = to + 1;
    }
    return true;
}

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

// The folder a new start lists and plays first: the play path, or the first
// folder of a shuffled round, or the folder of the round's stored place.
std::string Player::startFolder() const
{
    if (!round_)
        return controls_.Text1();
    return roundResume_.empty() ? round_->first : roundResume_;
}

std::string Player::playPathPattern() const
{
    return joinPath(startFolder(), Mp3Pattern);
}

// A new start's round: shuffled with Shuffle Folders and Subdirectories, in
// the order of the place it plays on from, or else in a new order.
void Player::prepareRound(bool quiet)
{
    round_.reset();
    roundResume_.clear();
    if (controls_.ckSub() != 1 || !controls_.shuffle())
        return;
    const Place* place = quiet ? nullptr : place_.goesOnFrom(controls_.Text1(), controls_.optDate(), controls_.ckSub(), true);
    // A start at a named file begins its round with that file's folder.
    const bool atFile = !quiet && place_.startsAtFileOf(controls_.Text1());
    round_ = place && !atFile ? *place->round
                              : ShuffledRound{nextRoundSeed(), atFile ? controls_.Text1() : std::string()};
    nextSeed_.reset();
    // The place names the folder it plays on in, which then plays at once,
    // as a round's first folder does; the rest of the round follows in its
    // order once the walk is complete. Only a folder of the tree: the stored
    // text never leads the player anywhere else.
    if (place && !atFile && inside(walkRoot(), place->folder, fs_.separator()))
        roundResume_ = place->folder;
}

// The seed of the next new round, drawn ahead so that the round before can
// tell which file that round begins with.
std::uint64_t Player::nextRoundSeed()
{
    if (!nextSeed_)
        nextSeed_ = drawSeed();
    return *nextSeed_;
}

// The first folder of a new shuffled round, found without the walk of the
// whole tree so that it plays at once: from the play path down, at each
// folder the choice by key between its own files and each folder inside it,
// and back up from a folder that holds no music. The last round's last
// folder only when no other holds music; the play path when the search finds
// none within its looks (the folder search then goes on as in any round).
void Player::chooseRoundFirst()
{
    if (round_ && round_->first.empty())
        round_->first = firstFolderFor(round_->seed);
}

std::string Player::firstFolderFor(std::uint64_t seed)
{
    struct Way {
        std::string folder;
        bool own; // the folder's own files, else the way into it
    };
    std::vector<std::vector<Way>> levels{{{walkRoot(), false}}}; // each level's ways, the next one last
    std::string fallback;
    for (int looks = 0; !levels.empty() && looks < FirstFolderLooks; ++looks) {
        if (levels.back().empty()) {
            levels.pop_back();
            continue;
        }
        const Way way = std::move(levels.back().back());
        levels.back().pop_back();
        if (way.own) {
            if (!holdsMusic(way.folder))
                continue;
            if (way.folder != lastHeardFolder_)
                return way.folder;
            fallback = way.folder;
            continue;
        }
        std::vector<Way> ways{{way.folder, true}};
        for (std::string& folder : subfoldersOf(way.folder))
            ways.push_back({std::move(folder), false});
        std::sort(ways.begin(), ways.end(), [seed](const Way& a, const Way& b) {
            return folderKey(seed, a.folder, a.own ? 1 : 0) > folderKey(seed, b.folder, b.own ? 1 : 0);
        });
        levels.push_back(std::move(ways));
    }
    return fallback.empty() ? walkRoot() : fallback;
}

bool Player::holdsMusic(const std::string& folder)
{
    try {
        PassLook look(*this, 1);
        return !fs_.firstMp3(folder).empty();
    } catch (const std::exception&) {
        return false; // unreadable: nothing plays from it
    }
}

// The names of the folders inside folder, as the walk finds them; none when
// it cannot be listed.
std::vector<std::string> Player::subfolderNamesOf(const std::string& folder)
{
    std::vector<DirEntry> entries;
    try {
        PassLook look(*this, 1);
        entries = fs_.listFolder(folder, ListPattern::All);
    } catch (const std::exception&) {
        // A folder that cannot be listed contributes nothing.
    }
    std::vector<std::string> names;
    for (DirEntry& entry : entries) {
        if (entry.name == "." || entry.name == ".." || isPageFile(entry.name))
            continue;
        if (entry.isDirectory())
            names.push_back(std::move(entry.name));
    }
    return names;
}

std::vector<std::string> Player::subfoldersOf(const std::string& folder)
{
    std::vector<std::string> folders = subfolderNamesOf(folder);
    for (std::string& name : folders)
        name = joinPath(folder, name);
    return folders;
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
    roundIndex_.clear();
    walkLevels_.clear();
    const std::string* toward = round_ ? nullptr : place_.seekingFolder();
    walkToward_ = toward ? *toward : std::string();
    walkLeftOut_ = false;
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
        WalkLevel level;
        level.names = subfolderNamesOf(*walkUnlisted_);
        // (A listing still to come has left the walk as it was.)
        const std::string folder = std::move(*walkUnlisted_);
        walkUnlisted_.reset();
        if (folder != walkRoot()) // (a newer start may have asked for the root's again)
            fs_.forgetListing(folder, ListPattern::All); // read once, by the walk alone
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
                level.next = walkFrom(level.folder, level.names);
                walkLeftOut_ = walkLeftOut_ || level.next > 0;
                if (level.next == level.names.size())
                    continue; // nothing of it comes at or after the place
            }
            walkUnlisted_ = joinPath(level.folder, level.names[level.next]);
            std::string().swap(level.names[level.next++]);
            List1.AddLast(*walkUnlisted_);
            return true;
        }
        walkLevels_.pop_back();
    }
    walkOpen_ = false;
    releaseFreeMemory(); // what the listings of the whole tree took and gave back
    return false; // complete
}

// Where the walk of a folder's subfolders begins: at the first, or, in a
// folder above the place's folder, at the one on the way down to it (or
// the first after it, where that has gone). Those before sort before the
// place's folder, and so does everything inside them.
std::size_t Player::walkFrom(const std::string& from, std::vector<std::string>& names) const
{
    const std::string& to = walkToward_;
    const char sep = fs_.separator();
    const bool ends = !from.empty() && from.back() == sep;
    if (to.size() <= from.size() + (ends ? 0 : 1) || to.compare(0, from.size(), from) != 0
        || (!ends && to[from.size()] != sep))
        return 0;
    const std::size_t start = from.size() + (ends ? 0 : 1);
    const std::string name = to.substr(start, to.find(sep, start) - start);
    const auto at = std::lower_bound(names.begin(), names.end(), name, lessNoCase);
    for (auto passed = names.begin(); passed != at; ++passed)
        std::string().swap(*passed);
    return static_cast<std::size_t>(at - names.begin());
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
    roundIndex_.clear();
}

// List1's entry at index, walking on as far as needed to know it; empty text
// once the walk is complete and the list is shorter.
std::string Player::folderAt(std::int64_t index)
{
    if (round_)
        return roundFolderAt(index);
    while (List1.ListCount() <= index && walkStep()) {
    }
    return List1.List(index);
}

// A shuffled round's folder at index: the folder its start plays first at
// once, any other once the walk is complete.
std::string Player::roundFolderAt(std::int64_t index)
{
    if (index == 0)
        return startFolder();
    if (!roundKnown()) {
        while (walkStep()) {
        }
        roundKnown();
    }
    const std::int64_t place = index + roundShift_;
    if (place >= roundIndex_.size())
        return {};
    const auto at = roundIndex_.at(place);
    return at ? List1.List(*at) : round_->first; // the first folder, gone since it was chosen
}

// Whether the round's order is known: once the walk is complete, the round
// is ordered over List1, and the folder its start played first is placed in
// it (where it has gone, the rest goes on from where it would have been).
bool Player::roundKnown()
{
    if (roundIndex_.built())
        return true;
    if (walkOpen_)
        return false;
    const auto folderAt = [this](std::uint32_t i) { return List1.List(i); };
    roundIndex_.build(*round_, static_cast<std::uint32_t>(List1.ListCount()), folderAt);
    roundShift_ = 0;
    if (!roundResume_.empty()) {
        const std::int64_t held = List1.IndexOf(roundResume_);
        roundShift_ = held >= 0 ? roundIndex_.placeOf(static_cast<std::uint32_t>(held))
                                : roundIndex_.placesBefore(*round_, roundResume_, folderAt) - 1;
    }
    return true;
}

// The folder search has gone past the round's last folder.
bool Player::cursorPastEnd() const
{
    if (!round_)
        return List1.List(FolderIndex).empty();
    return FolderIndex > 0 && FolderIndex + roundShift_ >= roundIndex_.size();
}

// Asks for what moving to folder reads, its listing (which brings the dates
// with it and tells the first ".mp3"), and throws FileAnswerPending until it
// is there. A service that answers at once is read only as the steps come.
void Player::needFolder(const std::string& folder)
{
    if (fs_.immediate())
        return;
    try {
        PassLook look(*this, 0); // counted where the folder is probed
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
        if (walkOpen_ && (round_ || List1.ListCount() <= FolderIndex + 1))
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
