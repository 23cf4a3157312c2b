#pragma once

#include "desktop/mod_browse.h"

#include <QString>

#include <string>

class QWidget;

namespace orvane::modBrowse {

// The modal folder dialog owned by owner: the chosen folder's native path as
// the dialog gives it, or empty text when nothing was chosen.
std::string chooseFolder(QWidget* owner);

// chooseFolder with the result rules: the path always ends in the separator
// ("/" stays "/"), or is empty text.
std::string GetBrowseDirectory(QWidget* owner);

// The dialog's answer as GetBrowseDirectory returns it.
std::string browseResult(const QString& chosenFolder);

} // namespace orvane::modBrowse
