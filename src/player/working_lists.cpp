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

std::string SortedList::pathOf(std::uint32_t node) const
{
    std::string path(nodes_[node].pathSize, '\0');
    for (std::uint32_t n = node; n != NoParent; n = nodes_[n].parent) {
        const Node& part = nodes_[n];
        text_.copy(path.data() + (part.pathSize - part.length), part.length, part.text);
    }
    return path;
}

// The first position whose entry does not sort before item.
std::uint32_t SortedList::lowerBound(const std::string& item) const
{
    const auto at = std::lower_bound(order_.begin(), order_.end(), item,
                                     [this](std::uint32_t node, const std::string& x) { return lessNoCase(pathOf(node), x); });
    return static_cast<std::uint32_t>(at - order_.begin());
}

// The deepest node whose path item's goes on from, a name further on: near
// (the entry before item's place) or one above it, since a folder comes
// before everything inside it.
std::uint32_t SortedList::parentFor(const std::string& item, std::uint32_t near) const
{
    const auto separator = [](char c) { return Separators.find(c) != std::string_view::npos; };
    for (std::uint32_t n = near; n != NoParent; n = nodes_[n].parent) {
        const std::uint32_t size = nodes_[n].pathSize;
        if (size >= item.size())
            continue;
        const std::string path = pathOf(n);
        if ((separator(path.back()) || separator(item[size])) && item.compare(0, size, path) == 0)
            return n;
    }
    return NoParent;
}

void SortedList::insertAt(std::uint32_t at, const std::string& item, std::uint32_t near)
{
    const std::uint32_t parent = near == NoParent ? NoParent : parentFor(item, near);
    const std::uint32_t from = parent == NoParent ? 0 : nodes_[parent].pathSize;
    nodes_.push_back({parent, static_cast<std::uint32_t>(text_.size()), static_cast<std::uint32_t>(item.size() - from),
                      static_cast<std::uint32_t>(item.size())});
    text_.append(item, from, std::string::npos);
    order_.insert(order_.begin() + at, static_cast<std::uint32_t>(nodes_.size() - 1));
}

void SortedList::AddItem(const std::string& item)
{
    const std::uint32_t at = lowerBound(item);
    if (at < order_.size() && pathOf(order_[at]) == item)
        return;
    insertAt(at, item, at > 0 ? order_[at - 1] : NoParent);
}

void SortedList::AddLast(const std::string& item)
{
    if (order_.empty() || lessNoCase(pathOf(order_.back()), item))
        insertAt(static_cast<std::uint32_t>(order_.size()), item, order_.empty() ? NoParent : order_.back());
    else
        AddItem(item);
}

std::string SortedList::List(std::int64_t index) const
{
    if (index < 0 || index >= ListCount())
        return {};
    return pathOf(order_[static_cast<std::size_t>(index)]);
}

void SortedList::RemoveItem(std::int64_t index)
{
    if (index >= 0 && index < ListCount())
        order_.erase(order_.begin() + index); // its node stays for those inside it
    if (order_.empty())
        Clear();
}

void SortedList::Clear()
{
    // The memory goes too: a list of a large tree is not kept for the next.
    std::string().swap(text_);
    std::vector<Node>().swap(nodes_);
    std::vector<std::uint32_t>().swap(order_);
}

std::int64_t SortedList::IndexOf(const std::string& item) const
{
    const std::uint32_t at = lowerBound(item);
    return at < order_.size() && pathOf(order_[at]) == item ? static_cast<std::int64_t>(at) : -1;
}

std::vector<std::string> SortedList::items() const
{
    std::vector<std::string> all;
    all.reserve(order_.size());
    for (std::uint32_t node : order_)
        all.push_back(pathOf(node));
    return all;
}

void BuildListing::append(std::string_view folder, std::string_view name, DateTime created, bool dated)
{
    Line line{0, static_cast<std::uint32_t>(folder.size()), 0, static_cast<std::uint32_t>(name.size()), created, dated};
    if (!lines_.empty() && std::string_view(text_).substr(lines_.back().folder, lines_.back().folderSize) == folder) {
        line.folder = lines_.back().folder;
    } else {
        line.folder = static_cast<std::uint32_t>(text_.size());
        text_.append(folder);
    }
    line.name = static_cast<std::uint32_t>(text_.size());
    text_.append(name);
    lines_.push_back(line);
}

void BuildListing::add(const std::string& path, DateTime created)
{
    const std::size_t cut = path.find_last_of(Separators);
    const std::size_t folder = cut == std::string::npos ? 0 : cut + 1;
    append(std::string_view(path).substr(0, folder), std::string_view(path).substr(folder), created, true);
}

void BuildListing::push_back(const std::string& line)
{
    append({}, line, {}, false);
}

std::string BuildListing::operator[](std::size_t index) const
{
    const Line& line = lines_.at(index);
    std::string text = text_.substr(line.folder, line.folderSize);
    text.append(text_, line.name, line.nameSize);
    if (line.dated)
        text += "     " + dateTimeText(line.created);
    return text;
}

void BuildListing::clear()
{
    std::string().swap(text_);
    std::vector<Line>().swap(lines_);
}

std::vector<std::string> BuildListing::lines() const
{
    std::vector<std::string> all;
    for (std::size_t i = 0; i < lines_.size(); ++i)
        all.push_back((*this)[i]);
    return all;
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
