#include "player/round_order.h"

#include "player/working_lists.h"

#include <algorithm>

namespace orvane {

// splitmix64's finaliser: every bit of the value moves every bit of the key.
std::uint64_t mixSeed(std::uint64_t value)
{
    value += 0x9e3779b97f4a7c15ull;
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ull;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebull;
    return value ^ (value >> 31);
}

std::uint64_t folderKey(std::uint64_t seed, const std::string& folder, int kind)
{
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a over the path's bytes
    for (const unsigned char c : folder) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return mixSeed(hash ^ mixSeed(seed + static_cast<std::uint64_t>(kind)));
}

bool playsBefore(const ShuffledRound& round, const std::string& a, const std::string& b)
{
    if (a == b)
        return false;
    if (a == round.first || b == round.first)
        return a == round.first;
    const std::uint64_t keyA = folderKey(round.seed, a);
    const std::uint64_t keyB = folderKey(round.seed, b);
    return keyA != keyB ? keyA < keyB : lessNoCase(a, b);
}

std::vector<std::string> roundOrder(const ShuffledRound& round, std::vector<std::string> folders)
{
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    RoundIndex index;
    index.build(round, static_cast<std::uint32_t>(folders.size()), [&folders](std::uint32_t i) { return folders[i]; });
    std::vector<std::string> order;
    order.reserve(folders.size());
    for (std::int64_t place = 0; place < index.size(); ++place) {
        if (const auto at = index.at(place))
            order.push_back(folders[*at]);
    }
    return order;
}

void RoundIndex::build(const ShuffledRound& round, std::uint32_t count, const FolderAt& folderAt)
{
    // Each folder's key once, its path put together only where two keys
    // are equal: the sort is by the keys alone but for such a tie.
    struct Keyed {
        std::uint64_t key;
        std::uint32_t index;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(count);
    bool firstHeld = false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string folder = folderAt(i);
        if (folder == round.first && !firstHeld) {
            firstHeld = true;
            keyed.insert(keyed.begin(), Keyed{0, i});
            continue;
        }
        keyed.push_back({folderKey(round.seed, folder), i});
    }
    const auto firstKeyed = keyed.begin() + (firstHeld ? 1 : 0);
    std::sort(firstKeyed, keyed.end(), [&folderAt](const Keyed& a, const Keyed& b) {
        return a.key != b.key ? a.key < b.key : lessNoCase(folderAt(a.index), folderAt(b.index));
    });
    order_.clear();
    order_.reserve(keyed.size());
    for (const Keyed& k : keyed)
        order_.push_back(k.index);
    places_.assign(count, 0);
    for (std::uint32_t place = 0; place < order_.size(); ++place)
        places_[order_[place]] = place;
    offset_ = firstHeld ? 0 : 1;
    built_ = true;
}

void RoundIndex::clear()
{
    std::vector<std::uint32_t>().swap(order_);
    std::vector<std::uint32_t>().swap(places_);
    offset_ = 0;
    built_ = false;
}

std::optional<std::uint32_t> RoundIndex::at(std::int64_t place) const
{
    if (place < offset_ || place >= size())
        return std::nullopt;
    return order_[static_cast<std::size_t>(place - offset_)];
}

std::int64_t RoundIndex::placesBefore(const ShuffledRound& round, const std::string& folder,
                                      const FolderAt& folderAt) const
{
    if (folder == round.first || !built_)
        return 0;
    const auto from = order_.begin() + (offset_ == 0 && !order_.empty() ? 1 : 0); // past the first folder
    const auto end = std::partition_point(from, order_.end(), [&](std::uint32_t index) {
        return playsBefore(round, folderAt(index), folder);
    });
    return (end - order_.begin()) + offset_;
}

} // namespace orvane
