#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// A round of shuffled folders: a pure function of the seed, the round's first
// folder and the tree. The first folder plays first; every other folder
// follows by a key that the seed gives its path alone, so that a folder added
// or removed moves no other folder, and a round stored as its seed and first
// folder goes on in the same order after any end of the program.
struct ShuffledRound {
    std::uint64_t seed = 0;
    std::string first;

    bool operator==(const ShuffledRound&) const = default;
};

// The key the seed gives a folder; kind tells the folder's own files (1) from
// the folder as a way into those below it (0), which the search for a
// round's first folder weighs apart.
std::uint64_t folderKey(std::uint64_t seed, const std::string& folder, int kind = 0);

// Whether folder a plays before folder b in the round.
bool playsBefore(const ShuffledRound& round, const std::string& a, const std::string& b);

// The round's order of these folders, each once: the first folder (when it is
// among them) and then the rest by their keys.
std::vector<std::string> roundOrder(const ShuffledRound& round, std::vector<std::string> folders);

// A round of shuffled folders over a list that names them elsewhere (the
// walk's folder list), kept as the list's indices in the round's order and,
// for the way back, each index's place in the round: 8 bytes a folder, and a
// folder's place found at the same cost on any tree. Place 0 is the round's
// first folder, whether the list still holds it or not.
class RoundIndex {
public:
    using FolderAt = std::function<std::string(std::uint32_t index)>;

    // The round over the list's count folders (each once), named by folderAt.
    void build(const ShuffledRound& round, std::uint32_t count, const FolderAt& folderAt);
    void clear();
    bool built() const { return built_; }
    // The places in the round: the first folder's and every other's.
    std::int64_t size() const { return built_ ? static_cast<std::int64_t>(order_.size()) + offset_ : 0; }
    // The list's index of the folder at a place in the round; none for the
    // first folder where the list does not hold it.
    std::optional<std::uint32_t> at(std::int64_t place) const;
    // The place in the round of the folder at a list index.
    std::int64_t placeOf(std::uint32_t index) const { return places_[index] + offset_; }
    // How many places play before folder, whether the round holds it or not.
    std::int64_t placesBefore(const ShuffledRound& round, const std::string& folder, const FolderAt& folderAt) const;

private:
    std::vector<std::uint32_t> order_;  // list indices in the round's order
    std::vector<std::uint32_t> places_; // each list index's place in order_
    std::int64_t offset_ = 0;           // 1 where the list does not hold the first folder
    bool built_ = false;
};

// A new seed from any number (the clock's, the system's random device).
std::uint64_t mixSeed(std::uint64_t value);

} // namespace orvane
