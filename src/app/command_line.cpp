#include "app/command_line.h"

#include "player/player.h"
#include "settings/settings_store.h"

namespace orvane {

CommandLine parseCommandLine(const std::vector<std::string>& args)
{
    CommandLine line;
    bool options = true;
    for (const std::string& arg : args) {
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--help" || arg == "-h")) {
            return {CommandLine::Action::Help, std::nullopt, {}, false};
        } else if (options && arg == "--version") {
            return {CommandLine::Action::Version, std::nullopt, {}, false};
        } else if (options && arg == ChooseFolderOption) {
            line.chooseFolder = true;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            return {CommandLine::Action::Wrong, std::nullopt, arg, false};
        } else if (!line.path) {
            line.path = arg;
        }
    }
    if (line.path)
        line.chooseFolder = false; // a folder given needs no choosing
    return line;
}

std::string helpText(const std::string& program)
{
    return "Usage: " + program + " [FOLDER|FILE]\n"
        "Plays FOLDER as the play path, or the folder of the .mp3 FILE from that file,\n"
        "with the play order, Subdirectories and Repeat All last chosen. When Orvane\n"
        "is running already, the running Orvane plays it.\n"
        "\n"
        "\n"
        "      --choose-folder  choose the folder to play in the folder dialog\n"
        "  -h, --help           print this help and exit\n"
        "      --version        print the version and exit\n";
}

std::string versionLine()
{
    return "Orvane " + versionText() + "\n";
}

std::string pathErrorLine(const std::string& program, const std::string& path)
{
    return program + ": " + path + ": " + PathErrorText + "\n";
}

} // namespace orvane
