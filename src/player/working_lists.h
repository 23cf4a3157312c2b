#pragma once

#include "platform/file_system.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// The order of the sorted lists, for names and paths: name by name, so a
// folder sorts before everything inside it; names in the platform's letter
// order (case ignored, accented letters beside their base letters), and names
// that are not valid text after all others, by their bytes. Names equal in
// that order are ordered by their exact bytes, so the order is total and
// repeatable.
bool lessNoCase(const std::string& a, const std::string& b);

// The folder list: kept sorted as entries arrive. Reading past the end gives
// empty text, which is how the end of the list shows.
//
// A tree of a few hundred thousand folders is held in little more than its
// names: each entry keeps only what its path adds to the entry above it in
// the tree (its parent, when the list holds it), in one block of text, and
// its path is put together when it is read.
class SortedList {
public:
    void AddItem(const std::string& item);
    // Adds an entry that sorts after every entry already there, as entries
    // found in the list's own order do; any other entry is placed as AddItem
    // places it.
    void AddLast(const std::string& item);
    std::string List(std::int64_t index) const;
    std::int64_t ListCount() const { return static_cast<std::int64_t>(order_.size()); }
    void RemoveItem(std::int64_t index);
    void Clear();
    // The index of item, or -1 when the list does not hold it.
    std::int64_t IndexOf(const std::string& item) const;
    std::vector<std::string> items() const;

private:
    static constexpr std::uint32_t NoParent = 0xFFFFFFFF;
    struct Node {
        std::uint32_t parent;   // the node whose path this one's starts with, or NoParent
        std::uint32_t text;     // where what it adds to its parent's path starts in text_
        std::uint32_t length;   // how long that is
        std::uint32_t pathSize; // the size of its whole path
    };
    std::string pathOf(std::uint32_t node) const;
    std::uint32_t lowerBound(const std::string& item) const;
    std::uint32_t parentFor(const std::string& item, std::uint32_t near) const;
    void insertAt(std::uint32_t at, const std::string& item, std::uint32_t near);

    std::string text_;                // what each node adds, one after another
    std::vector<Node> nodes_;         // in the order they came
    std::vector<std::uint32_t> order_; // the nodes in list order
};

// List2, the listing of every play list built: one line per file, its path,
// five blanks and its creation date in the user's date-and-time text. A
// round of a large tree passes through it, so each line keeps no more than
// its file's name and date, beside its folder's path kept once for the lines
// that follow in the same folder; its text is made when it is read.
class BuildListing {
public:
    void add(const std::string& path, DateTime created);
    void push_back(const std::string& line); // a line of text as it is
    std::string operator[](std::size_t index) const;
    std::size_t size() const { return lines_.size(); }
    bool empty() const { return lines_.empty(); }
    void clear();
    std::vector<std::string> lines() const;

private:
    struct Line {
        std::uint32_t folder;     // where its folder's part of the path lies in text_
        std::uint32_t folderSize;
        std::uint32_t name;       // and the rest of it
        std::uint32_t nameSize;
        DateTime created;
        bool dated;
    };
    void append(std::string_view folder, std::string_view name, DateTime created, bool dated);
    std::string text_;
    std::vector<Line> lines_;
};

// The file list of one folder: the names of its ordinary "*.mp3" files, without
// folder, in case-insensitive order. Setting the path lists the folder.
class FileList {
public:
    explicit FileList(FileSystem& fs) : fs_(fs) {}

    // Throws FileSystemError when the folder cannot be listed; the list then
    // holds the new path and no names, so nothing of the previous folder
    // can play again by mistake.
    void setPath(const std::string& path);
    const std::string& Path() const { return path_; }
    std::int64_t ListCount() const { return static_cast<std::int64_t>(names_.size()); }
    const std::string& List(std::int64_t index) const { return names_.at(static_cast<std::size_t>(index)); }
    const std::vector<std::string>& names() const { return names_; }

private:
    FileSystem& fs_;
    std::string path_;
    std::vector<std::string> names_;
};

// One record of a folder's play list: field 0 the full path, field 1 the
// creation date-time.
struct PlayListEntry {
    std::string path;
    DateTime created;
};

// Sorts records in place, ascending on the given field (0 path, 1 creation
// date), always moving whole records: a gap-halving exchange sort in which only
// a strictly greater key exchanges, so equal keys never swap with each other
// and the result for a given input order is always the same.
void SortArray(std::vector<PlayListEntry>& records, int field);

// The user's general date-and-time text for a date-time.
std::string dateTimeText(DateTime t);

} // namespace orvane
