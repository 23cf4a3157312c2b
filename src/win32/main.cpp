#include "app/command_line.h"
#include "platform/file_system.h"
#include "player/play_start.h"
#include "settings/place_store.h"
#include "settings/win_registry.h"
#include "win32/frm_about.h"
#include "win32/frm_orvane.h"
#include "win32/frm_splash.h"
#include "win32/media_choice.h"
#include "win32/mf_loudness_decoder.h"
#include "win32/traced_control.h"
#include "win32/win_lifetime.h"
#include "win32/win_start.h"
#include "win32/win_window.h"

#include <commctrl.h>
#include <objbase.h>

#include <memory>
#include <optional>
#include <string>

namespace {

constexpr const char* Program = "orvane.exe";

// Help, the version or a wrong option: what to print, and the exit code;
// nothing when the program is to run.
std::optional<int> answerCommandLine(const orvane::CommandLine& line)
{
    using Action = orvane::CommandLine::Action;
    switch (line.action) {
    case Action::Help: orvane::tellStarter(orvane::helpText(Program), false); return 0;
    case Action::Version: orvane::tellStarter(orvane::versionLine(), false); return 0;
    case Action::Wrong:
        orvane::tellStarter(std::string(Program) + ": unknown option " + line.wrong + "\n" + orvane::helpText(Program),
                            true);
        return orvane::ExitWrongArguments;
    case Action::Run: break;
    }
    return std::nullopt;
}

std::string currentFolder()
{
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(size, L'\0');
    folder.resize(GetCurrentDirectoryW(size, folder.data()));
    return orvane::win::narrow(folder);
}

void printPathError(const std::string& path)
{
    orvane::tellStarter(orvane::pathErrorLine(Program, path), true);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const orvane::CommandLine line = orvane::parseCommandLine(orvane::processArguments());
    if (const std::optional<int> exitCode = answerCommandLine(line))
        return *exitCode;
    const std::optional<std::string> startPath
        = line.path ? std::optional(orvane::absolutePath(*line.path, currentFolder(), '\\')) : std::nullopt;

    // A start with a folder while Orvane runs hands it over and ends; one
    // without starts a copy of its own, as ever. Copies started together
    // take the gate one after the other.
    orvane::StartGate gate;
    if (startPath || line.chooseFolder) {
        if (const HWND running = orvane::StartGate::runningCopy()) {
            if (startPath && !orvane::resolvePlayStart(*orvane::makeNativeFileSystem(), *startPath))
                printPathError(*startPath); // the running copy's window shows it too
            if (startPath ? orvane::StartGate::handOver(running, orvane::win::wide(*startPath))
                          : orvane::StartGate::askToChooseFolder(running))
                return 0;
            // No answer from the running copy: this one does it.
        }
    }

    // The folder dialog is a shell object; it wants a single-threaded apartment.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    orvane::SettingsProvider settings(orvane::makeWinRegistry);
    orvane::WinLifetime lifetime;

    // The main window can be closed from inside one of its own handlers (the
    // walk and the tick let messages through), so its object is never deleted
    // while the program runs: it goes when the message loop has returned.
    std::unique_ptr<orvane::frmOrvane> mainWindow;
    auto windowGone = [&lifetime] { lifetime.windowGone(); };
    auto showMainWindow = [&] {
        orvane::frmOrvane::Hooks hooks;
        hooks.showAbout = [windowGone] { orvane::frmAbout::showModeless(windowGone); };
        hooks.unloaded = [&lifetime] { lifetime.mainWindowUnloaded(); };
        hooks.messageBoxClosed = windowGone;
        hooks.reads = orvane::MainForm::FileReads::OffWindowThread;
        auto media = orvane::TracedControl::wrapFromEnvironment(orvane::makeWinMediaControl());
        mainWindow = std::make_unique<orvane::frmOrvane>(std::move(media), orvane::makeNativeFileSystem(),
                                                         settings, std::move(hooks));
        if (startPath) {
            mainWindow->player().pathRefused().connect([&startPath](const std::string& path) {
                if (path == *startPath)
                    printPathError(path);
            });
        }
        mainWindow->keepPlaceIn(orvane::claimRegistryPlace(orvane::makeWinRegistry));
        // Even Loudness measures folders without gain tags by Media Foundation.
        mainWindow->mmControl().levelling()->measureWith(std::make_shared<orvane::MfLoudnessDecoder>(),
                                                          orvane::defaultLoudnessCachePath());
        mainWindow->show(startPath, line.chooseFolder);
        gate.windowShown();
    };
    orvane::frmSplash splash(settings, showMainWindow);
    splash.show();

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        orvane::dispatchMessage(message);

    mainWindow.reset();
    CoUninitialize();
    return static_cast<int>(message.wParam);
}
