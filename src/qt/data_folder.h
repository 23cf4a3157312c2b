#pragma once

#include <QString>

namespace orvane {

// The folder of the program's own data files (the tray images). Installed, the
// program sits in bin/ and its data in share/orvane/ beside it; in the build
// tree, and wherever that folder is missing, the data lies beside the program.
QString programDataFolder(const QString& programFolder);

// The same for the running program.
QString programDataFolder();

} // namespace orvane
