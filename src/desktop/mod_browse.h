#pragma once

// modBrowse: the folder dialog's title and what GetBrowseDirectory makes of
// the dialog's answer. The dialog itself belongs to each program's window.

#include <string>

namespace orvane::modBrowse {

inline constexpr const char* BrowseTitle = "Choose a directory from the list.";

// The chosen folder's path, always ending in the separator (a root such as
// "/" or "C:\" stays as it is), or empty text when nothing was chosen.
std::string browseResult(const std::string& chosenFolder, char separator);

} // namespace orvane::modBrowse
