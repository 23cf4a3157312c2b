#pragma once

#include "platform/win_api.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// The arguments after the program's name, from the process's command line.
std::vector<std::string> processArguments();

// Text for whoever started the program: into the handle its standard output
// (or error) was given, else into the console it was started from, if any.
// A program started from the desktop has neither, and the text goes nowhere.
void tellStarter(const std::string& text, bool error);

// What a copy that runs already receives from a second start: the absolute
// path given to the second start, as UTF-16 with its terminator, in a
// WM_COPYDATA record marked with this tag.
inline constexpr ULONG_PTR HandOverTag = 0x4F52564E; // "ORVN"
// A second start asked to choose the folder (--choose-folder) asks the
// running copy for its folder dialog with a record of this tag and no data.
inline constexpr ULONG_PTR ChooseFolderTag = 0x4F52564F;
// The longest path that can be handed over, in UTF-16 units without the
// terminator: the longest the system's own paths can be.
inline constexpr std::size_t MostHandOverUnits = 32767;

// The path a WM_COPYDATA record carries, when it is a hand-over that holds
// together: the tag, a whole number of UTF-16 units within the bound, ending
// in the one terminator, nothing empty.
std::optional<std::wstring> handedOverPath(const COPYDATASTRUCT* record);

// Decides whether this start is the first copy of this user's in this
// session or hands its path to one that runs. Made first thing: it holds a
// lock that copies started at the same moment take one after the other, and
// keeps it until this copy's main window is there (windowShown) or the
// process ends, so that two of them never both find no window and both
// decide they are first.
class StartGate {
public:
    StartGate();
    ~StartGate();
    StartGate(const StartGate&) = delete;
    StartGate& operator=(const StartGate&) = delete;

    // The main window of a copy of this user's that runs already, or null.
    // A window of the same class that belongs to another user, or to a
    // process this user cannot look into, is none.
    static HWND runningCopy();
    // Hands absolutePath to that window; true once it has taken it.
    static bool handOver(HWND window, const std::wstring& absolutePath);
    // Asks that window for its folder dialog; true once it has taken that.
    static bool askToChooseFolder(HWND window);

    // This copy's main window is there: later starts find it.
    void windowShown();

private:
    HANDLE lock_ = nullptr;
    bool held_ = false;
};

} // namespace orvane
