#pragma once

#include "player/control_model.h"
#include "settings/mod_reg.h"
#include "settings/settings_keys.h"

#include <string>

namespace orvane {

inline constexpr int VersionMajor = 3;
inline constexpr int VersionMinor = 0;
inline constexpr int VersionRevision = 0;

// "3.0.0": major, minor and revision in plain decimal, joined by ".".
std::string versionText();

// "Version 3.0.0", as the startup and About windows show it.
std::string versionCaption();

// First run and version change: when the stored Version differs from the
// running one, the four choices go back to their defaults, then Version is
// written.
void applyFirstRunRule(SettingsProvider& settings);

// Puts the stored choices into the controls: PlayOrder, Sub, Repeat, PlayPath,
// Shuffle Folders and Even Loudness.
void loadSettings(SettingsProvider& settings, ControlModel& controls);

// The click handlers that store one choice at once. The check-box handlers
// store the state the click left.
void optDate_Click(SettingsProvider& settings, ControlModel& controls);
void optName_Click(SettingsProvider& settings, ControlModel& controls);
void ckSub_Click(SettingsProvider& settings, const ControlModel& controls);
void ckRepeat_Click(SettingsProvider& settings, const ControlModel& controls);
void mnuShuffle_Click(SettingsProvider& settings, const ControlModel& controls);
void mnuEvenLoudness_Click(SettingsProvider& settings, const ControlModel& controls);

// The stored preamp of Even Loudness in whole dB, -12 to 12 (a value out of
// range is held at the nearer end); 0 where none or no number is stored. It
// is set in the stored settings only.
double loudnessPreampDb(SettingsProvider& settings);

// Stores every choice, as the main window does when it unloads.
void storeAllSettings(SettingsProvider& settings, const ControlModel& controls);

} // namespace orvane
