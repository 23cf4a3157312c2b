#pragma once

#include <cstdint>
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

// A new seed from any number (the clock's, the system's random device).
std::uint64_t mixSeed(std::uint64_t value);

} // namespace orvane
