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
    std::sort(folders.begin(), folders.end(),
              [&round](const std::string& a, const std::string& b) { return playsBefore(round, a, b); });
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    return folders;
}

} // namespace orvane
