#pragma once

#include <QString>

#include <string>

class QWidget;

namespace orvane::modBrowse {

inline constexpr const char* BrowseTitle = "Choose a directory from the list.";

// Shows the modal folder dialog owned by owner. The chosen folder's native
// path, always ending in the separator ("/" stays "/"), or empty text when
// nothing was chosen.
std::string GetBrowseDirectory(QWidget* owner);

// The dialog's answer as GetBrowseDirectory returns it.
std::string browseResult(const QString& chosenFolder);

} // namespace orvane::modBrowse
