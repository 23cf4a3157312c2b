#pragma once

#include "platform/file_system.h"

#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// A folder or ".mp3" file given from outside the window (the command line, a
// drop, a second start, the desktop's media controls), as Play takes it: the
// play path, and the file of that folder the sequence starts at (empty: the
// folder plays as Play after typing it would play it).
struct PlayStart {
    std::string playPath;
    std::string startFile;

    bool operator==(const PlayStart&) const = default;
};

// path made absolute against currentFolder (itself absolute), its "." steps
// dropped and its ".." steps taken by name, without a trailing separator but
// for a root, which keeps it. Empty text stays empty. With '\\' as the
// separator, '/' separates too, and a path may start with a drive ("C:\",
// "C:" alone meaning that drive's root), with "\\server\share\" or with a
// separator alone (the root of currentFolder's drive). No file system is
// asked.
std::string absolutePath(std::string_view path, std::string_view currentFolder, char separator);

// What an absolute path plays: an existing folder, from its start; an
// ".mp3" file that its folder lists, that folder from that file. Nothing for
// anything else. A file service that answers later throws FileAnswerPending
// until its answers are in.
std::optional<PlayStart> resolvePlayStart(FileSystem& fs, const std::string& path);

} // namespace orvane
