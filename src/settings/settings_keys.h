#pragma once

#include <string>

namespace orvane {

// Where the program keeps its five values, and their names.
inline constexpr const char* RegKeyPath = "HKEY_CURRENT_USER\\Software\\Orvane\\";

namespace SettingsKey {
inline constexpr const char* PlayOrder = "PlayOrder"; // "1" date order, "2" name order
inline constexpr const char* Sub = "Sub";             // "1" with subfolders
inline constexpr const char* Repeat = "Repeat";       // "1" repeat all
inline constexpr const char* PlayPath = "PlayPath";   // the play path as typed or chosen
inline constexpr const char* Version = "Version";     // the version that wrote the defaults
// Beside the five, apart from their first-run rule: off until chosen.
inline constexpr const char* Shuffle = "ShuffleFolders"; // "1" shuffle folders
inline constexpr const char* EvenLoudness = "EvenLoudness"; // "1" every file at the reference loudness
inline constexpr const char* LoudnessPreamp = "LoudnessPreamp"; // dB over the reference, -12 to 12; none: 0
} // namespace SettingsKey

// Each value with what the first run (or a new version) writes into it, in
// the order it is written; Version's own default is the running version.
struct StoredSetting {
    const char* name;
    const char* firstRun; // nullptr: the running version
};

inline constexpr StoredSetting StoredSettings[] = {
    {SettingsKey::PlayOrder, "2"},
    {SettingsKey::Sub, "0"},
    {SettingsKey::Repeat, "0"},
    {SettingsKey::PlayPath, ""},
    {SettingsKey::Version, nullptr},
};

// The full value path of one of them.
inline std::string regPath(const char* valueName)
{
    return std::string(RegKeyPath) + valueName;
}

} // namespace orvane
