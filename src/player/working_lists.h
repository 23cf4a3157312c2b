#pragma once

#include "platform/file_system.h"

#include <cstdint>
#include <string>
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
class SortedList {
public:
    void AddItem(const std::string& item);
    // Adds an entry that sorts after every entry already there, as entries
    // found in the list's own order do; any other entry is placed as AddItem
    // places it.
    void AddLast(const std::string& item);
    std::string List(std::int64_t index) const;
    std::int64_t ListCount() const { return static_cast<std::int64_t>(items_.size()); }
    void RemoveItem(std::int64_t index);
    void Clear() { items_.clear(); }
    const std::vector<std::string>& items() const { return items_; }

private:
    std::vector<std::string> items_;
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
