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

void Player::WalkFolders()
{
    WalkBusy = true;
    ui_.setMousePointer(UiHost::PointerHourglass);
    ui_.yield();

    // Breadth first with a queue that only grows: one listing open at a time,
    // and no yield inside a listing.
    std::vector<std::string> queue{walkRoot()};
    for (std::size_t next = 0; next < queue.size();) {
        const std::string folder = queue[next++];
        ++passWork_;
        std::vector<DirEntry> entries;
        try {
            entries = fs_.listFolder(folder, ListPattern::All);
        } catch (const std::exception&) {
            // A folder that cannot be listed contributes nothing.
        }
        for (const DirEntry& entry : entries) {
            if (entry.name == "." || entry.name == ".." || isPageFile(entry.name))
                continue;
            if (entry.isDirectory())
                queue.push_back(joinPath(folder, entry.name));
        }
        ui_.yield();
        if (!WalkBusy)
            break; // a second walk ran during the yield and has finished
    }

    List1.AddItems(std::move(queue));
    ui_.setMousePointer(UiHost::PointerDefault);
    WalkBusy = false;
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
    while (FirstFileCopy.empty()) {
        ++FolderIndex;
        const std::string folder = List1.List(FolderIndex);
        if (folder.empty())
            return false;
        // A Stop during the yield ended the sequence this search serves; a
        // Play after it has made a new one, whose folder and first file must
        // not be overwritten by the old search.
        if (!yieldInTick(stopsBefore))
            return false;
        ++passWork_;
        FirstFile = ProbeFolder(joinPath(folder, Mp3Pattern));
        FirstFileCopy = FirstFile;
        File1.setPath(folder);
    }
    return true;
}

void Player::BuildPlayList()
{
    std::vector<PlayListEntry> table = entriesOf(File1);
    for (const PlayListEntry& entry : table)
        List2.push_back(entry.path + "     " + dateTimeText(entry.created));
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
