#pragma once

#include "player/control_model.h"

#include <string>

namespace orvane {

inline constexpr int VersionMajor = 3;
inline constexpr int VersionMinor = 0;
inline constexpr int VersionRevision = 0;

// "3.0.0": major, minor and revision in plain decimal, joined by ".".
std::string versionText();

// Full value paths of the five stored values.
inline constexpr const char* RegKeyPath = "HKEY_CURRENT_USER\\Software\\Orvane\\";
std::string regPath(const char* valueName);

// First run and version change: when the stored Version differs from the
// running one, the four choices go back to their defaults, then Version is
// written.
void applyFirstRunRule();

// Puts the stored choices into the controls: PlayOrder, Sub, Repeat, PlayPath.
void loadSettings(ControlModel& controls);

// The click handlers that store one choice at once. The check-box handlers
// store the state the click left.
void optDate_Click(ControlModel& controls);
void optName_Click(ControlModel& controls);
void ckSub_Click(const ControlModel& controls);
void ckRepeat_Click(const ControlModel& controls);

// Stores every choice, as the main window does when it unloads.
void storeAllSettings(const ControlModel& controls);

} // namespace orvane
