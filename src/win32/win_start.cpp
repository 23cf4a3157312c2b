#include "win32/win_start.h"

#include "win32/win_window.h"

#include <sddl.h>
#include <shellapi.h>

#include <memory>

namespace orvane {

namespace {

// A copy's main window; the installer looks for it by the same name.
constexpr wchar_t kMainClass[] = L"OrvaneMain";
// How long a start waits for a copy started at the same moment to bring up
// its main window (the startup window shows for half a second).
constexpr DWORD kGateWaitMs = 10000;
// How long it waits for the running copy to take its path. A copy busy for
// that long is taken for hung; one that took the path after the wait would
// play it beside this one, so the wait is generous.
constexpr UINT kHandOverWaitMs = 5000;

// The user a process runs as: the bytes of its security identifier, empty
// when they cannot be read.
std::vector<BYTE> userOf(HANDLE process)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> record(size);
    std::vector<BYTE> user;
    if (size > 0 && GetTokenInformation(token, TokenUser, record.data(), size, &size)) {
        // The record points into itself: the identifier is copied out of it.
        const PSID sid = reinterpret_cast<TOKEN_USER*>(record.data())->User.Sid;
        user.resize(GetLengthSid(sid));
        if (!CopySid(static_cast<DWORD>(user.size()), user.data(), sid))
            user.clear();
    }
    CloseHandle(token);
    return user;
}

PSID sidOf(std::vector<BYTE>& user)
{
    return user.empty() ? nullptr : static_cast<PSID>(user.data());
}

std::vector<BYTE>& ownUser()
{
    static std::vector<BYTE> user = userOf(GetCurrentProcess());
    return user;
}

bool sameUser(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == 0)
        return false;
    if (pid == GetCurrentProcessId())
        return true;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return false;
    std::vector<BYTE> user = userOf(process);
    CloseHandle(process);
    PSID theirs = sidOf(user);
    PSID ours = sidOf(ownUser());
    return theirs && ours && EqualSid(theirs, ours);
}

BOOL CALLBACK findRunningCopy(HWND window, LPARAM found)
{
    wchar_t name[std::size(kMainClass) + 1] = {};
    if (GetClassNameW(window, name, static_cast<int>(std::size(name))) && lstrcmpW(name, kMainClass) == 0
        && sameUser(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// The lock's name: one per user, within the session.
std::wstring gateName()
{
    std::wstring name = L"Local\\Orvane.Start";
    LPWSTR text = nullptr;
    if (PSID sid = sidOf(ownUser()); sid && ConvertSidToStringSidW(sid, &text)) {
        name += L".";
        name += text;
        LocalFree(text);
    }
    return name;
}

bool writeAll(HANDLE out, const std::string& text)
{
    if (!out || out == INVALID_HANDLE_VALUE)
        return false;
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode)) {
        const std::wstring wideText = win::wide(text);
        DWORD written = 0;
        return WriteConsoleW(out, wideText.c_str(), static_cast<DWORD>(wideText.size()), &written, nullptr);
    }
    DWORD written = 0;
    return WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

} // namespace

namespace {

bool send(HWND window, COPYDATASTRUCT& record)
{
    DWORD_PTR taken = FALSE;
    return window
        && SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record),
                               SMTO_ABORTIFHUNG | SMTO_BLOCK, kHandOverWaitMs, &taken)
        && taken == TRUE;
}

} // namespace

std::vector<std::string> processArguments()
{
    int count = 0;
    std::unique_ptr<LPWSTR, decltype(&LocalFree)> argv(CommandLineToArgvW(GetCommandLineW(), &count), LocalFree);
    std::vector<std::string> arguments;
    for (int i = 1; argv && i < count; ++i)
        arguments.push_back(win::narrow(argv.get()[i]));
    return arguments;
}

void tellStarter(const std::string& text, bool error)
{
    const DWORD which = error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
    if (writeAll(GetStdHandle(which), text))
        return;
    // A program for the desktop has no console of its own; the one of the
    // command prompt it was started from takes the text.
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 0, nullptr);
    writeAll(console, text);
    if (console != INVALID_HANDLE_VALUE)
        CloseHandle(console);
    FreeConsole();
}

std::optional<std::wstring> handedOverPath(const COPYDATASTRUCT* record)
{
    if (!record || record->dwData != HandOverTag || !record->lpData || record->cbData % sizeof(wchar_t) != 0)
        return std::nullopt;
    const std::size_t units = record->cbData / sizeof(wchar_t);
    if (units < 2 || units > MostHandOverUnits + 1)
        return std::nullopt;
    const auto* text = static_cast<const wchar_t*>(record->lpData);
    std::wstring path(text, units - 1);
    if (text[units - 1] != L'\0' || path.find(L'\0') != std::wstring::npos)
        return std::nullopt;
    return path;
}

StartGate::StartGate()
{
    lock_ = CreateMutexW(nullptr, FALSE, gateName().c_str());
    if (!lock_)
        return; // another user's of the same name, say: the start goes on as the first copy
    const DWORD waited = WaitForSingleObject(lock_, kGateWaitMs);
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

StartGate::~StartGate()
{
    windowShown();
    if (lock_)
        CloseHandle(lock_);
}

void StartGate::windowShown()
{
    if (held_)
        ReleaseMutex(lock_);
    held_ = false;
}

HWND StartGate::runningCopy()
{
    HWND found = nullptr;
    EnumWindows(findRunningCopy, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool StartGate::handOver(HWND window, const std::wstring& absolutePath)
{
    if (absolutePath.empty() || absolutePath.size() > MostHandOverUnits)
        return false;
    COPYDATASTRUCT record{};
    record.dwData = HandOverTag;
    record.cbData = static_cast<DWORD>((absolutePath.size() + 1) * sizeof(wchar_t));
    record.lpData = const_cast<wchar_t*>(absolutePath.c_str());
    return send(window, record);
}

bool StartGate::askToChooseFolder(HWND window)
{
    COPYDATASTRUCT record{};
    record.dwData = ChooseFolderTag;
    return send(window, record);
}

} // namespace orvane
