#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvane {

// What the program was started with: `orvane [FOLDER|FILE]`, or
// `--choose-folder`, or asked for its help or version.
struct CommandLine {
    enum class Action { Run, Help, Version, Wrong };
    Action action = Action::Run;
    // The folder or ".mp3" file to play, as given (not yet absolute); of
    // several (a file manager's selection), the first.
    std::optional<std::string> path;
    std::string wrong; // for Wrong: the argument that is not understood
    // Run without a path: the folder dialog comes up once the main window is
    // there, and the folder chosen plays (the menu entry's "Play Folder…").
    bool chooseFolder = false;

    bool operator==(const CommandLine&) const = default;
};

inline constexpr const char* ChooseFolderOption = "--choose-folder";
// The menu entry's action of that name, as a running copy is asked for it.
inline constexpr const char* ChooseFolderAction = "play-folder";

// The arguments after the program's name. "--" ends the options, so that a
// path may start with "-".
CommandLine parseCommandLine(const std::vector<std::string>& args);

// What --help prints, for the program named program.
std::string helpText(const std::string& program);
// What --version prints: "Orvane" and the version.
std::string versionLine();
// What a path that is neither an existing folder nor an ".mp3" file prints
// before the program goes on (the window shows it too).
std::string pathErrorLine(const std::string& program, const std::string& path);

// The exit codes beside 0.
inline constexpr int ExitWrongArguments = 2;

} // namespace orvane
