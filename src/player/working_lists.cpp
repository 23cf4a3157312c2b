#include "player/working_lists.h"

#include "platform/collation.h"

#include <algorithm>
#include <ctime>
#include <string_view>
#include <utility>

namespace orvane {

namespace {

#ifdef _WIN32
constexpr std::string_view Separators = "\\/";
#else
constexpr std::string_view Separators = "/";
#endif

unsigned char fold(char c)
{
    auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

// Bytes in order, ASCII letters without regard to case.
int compareFolded(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = fold(a[i]);
        const unsigned char y = fold(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// One folder or file name against another: names that are text in letter
// order, after them the names that are not text, by their bytes; equal
// names by their exact bytes, so that only the same name compares equal.
int compareNames(std::string_view a, std::string_view b)
{
    if (a == b)
        return 0;
    const bool textA = isText(a);
    if (textA != isText(b))
        return textA ? -1 : 1;
    const int order = textA ? collate(a, b) : compareFolded(a, b);
    if (order != 0)
        return order;
    return a < b ? -1 : 1;
}

} // namespace

bool lessNoCase(const std::string& a, const std::string& b)
{
    // Name by name, so that a folder comes before everything inside it
    // whatever the letters after it are. The names before the first byte that
    // differs are the same in both.
    const auto differ = std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin();
    const std::size_t lastSame = std::string_view(a).substr(0, differ).find_last_of(Separators);
    const std::size_t start = lastSame == std::string_view::npos ? 0 : lastSame + 1;
    std::string_view x = std::string_view(a).substr(start);
    std::string_view y = std::string_view(b).substr(start);
    for (;;) {
        const std::size_t endX = x.find_first_of(Separators);
        const std::size_t endY = y.find_first_of(Separators);
        const int order = compareNames(x.substr(0, endX), y.substr(0, endY));
        if (order != 0)
            return order < 0;
        if (endX == std::string_view::npos || endY == std::string_view::npos) {
            if (endX != endY)
                return endX == std::string_view::npos;
            return a < b; // the same names: only the separators can differ
        }
        x.remove_prefix(endX + 1);
        y.remove_prefix(endY + 1);
    }
}

void SortedList::AddItem(const std::string& item)
{
    auto at = std::lower_bound(items_.begin(), items_.end(), item, lessNoCase);
    if (at != items_.end() && *at == item)
        return;
    items_.insert(at, item);
}

void SortedList::AddLast(const std::string& item)
{
    if (items_.empty() || lessNoCase(items_.back(), item))
        items_.push_back(item);
    else
        AddItem(item);
}

std::string SortedList::List(std::int64_t index) const
{
    if (index < 0 || index >= ListCount())
        return {};
    return items_[static_cast<std::size_t>(index)];
}

void SortedList::RemoveItem(std::int64_t index)
{
    if (index >= 0 && index < ListCount())
        items_.erase(items_.begin() + index);
}

void FileList::setPath(const std::string& path)
{
    // A listing still to come (FileAnswerPending) leaves the list as it was.
    std::vector<DirEntry> entries;
    try {
        entries = fs_.listFolder(path, ListPattern::Mp3Files);
    } catch (const std::exception&) {
        path_ = path;
        names_.clear();
        throw;
    }
    path_ = path;
    std::vector<std::string> names;
    for (auto& entry : entries)
        names.push_back(std::move(entry.name));
    std::sort(names.begin(), names.end(),
              [](const std::string& x, const std::string& y) { return compareNames(x, y) < 0; });
    names_ = std::move(names);
}

namespace {
bool keyGreater(const PlayListEntry& a, const PlayListEntry& b, int field)
{
    return field == 0 ? b.path < a.path : b.created < a.created;
}
} // namespace

void SortArray(std::vector<PlayListEntry>& records, int field)
{
    const std::size_t count = records.size();
    for (std::size_t gap = count / 2; gap >= 1; gap /= 2) {
        bool exchanged = true;
        while (exchanged) {
            exchanged = false;
            for (std::size_t i = 0; i + gap < count; ++i) {
                if (keyGreater(records[i], records[i + gap], field)) {
                    std::swap(records[i], records[i + gap]);
                    exchanged = true;
                }
            }
        }
    }
}

std::string dateTimeText(DateTime t)
{
    const std::time_t secs = std::chrono::system_clock::to_time_t(t);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &secs);
#else
    localtime_r(&secs, &local);
#endif
    char text[128];
    const std::size_t n = std::strftime(text, sizeof text, "%x %X", &local);
    return std::string(text, n);
}

} // namespace orvane
