#include "app/command_line.h"
#include "platform/file_system.h"
#include "player/play_start.h"
#include "qt/app_bus.h"
#include "qt/app_icon.h"
#include "qt/app_lifetime.h"
#include "qt/frm_orvane.h"
#include "qt/frm_splash.h"
#include "qt/mpg123_decoder.h"
#include "qt/mpris.h"
#include "qt/place_file.h"
#include "qt/platform_choice.h"
#include "qt/qt_settings_registry.h"
#include "qt/session_end.h"
#include "qt/start_requests.h"
#include "settings/mod_reg.h"

#include <QApplication>
#include <QTimer>

#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* Program = "orvane";

// Help, the version or a wrong option: what to print, and the exit code;
// nothing when the program is to run.
std::optional<int> answerCommandLine(const orvane::CommandLine& line)
{
    using Action = orvane::CommandLine::Action;
    switch (line.action) {
    case Action::Help: std::fputs(orvane::helpText(Program).c_str(), stdout); return 0;
    case Action::Version: std::fputs(orvane::versionLine().c_str(), stdout); return 0;
    case Action::Wrong:
        std::fprintf(stderr, "%s: unknown option %s\n%s", Program, line.wrong.c_str(), orvane::helpText(Program).c_str());
        return orvane::ExitWrongArguments;
    case Action::Run: break;
    }
    return std::nullopt;
}

std::string currentFolder()
{
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return "/"; // gone: only an absolute path means anything now
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

void printPathError(const std::string& path)
{
    std::fputs(orvane::pathErrorLine(Program, path).c_str(), stderr);
}

// A start with a folder (or for the folder dialog) while Orvane runs hands
// it to the running copy, and ends; whether that copy took it. A start
// without either starts a copy of its own, as ever, and so does one whose
// running copy does not answer.
bool handedToRunningCopy(orvane::AppBus* bus, const std::optional<std::string>& path, bool chooseFolder)
{
    if (!bus || bus->ownsName())
        return false;
    if (!path)
        return chooseFolder && bus->askForAction(QString::fromLatin1(orvane::ChooseFolderAction));
    if (!orvane::resolvePlayStart(*orvane::makeNativeFileSystem(), *path))
        printPathError(*path); // the running copy's window shows it too
    return bus->handOver(*path);
}

} // namespace

int main(int argc, char** argv)
{
    // Read before Qt starts: help and the version need no display.
    const orvane::CommandLine line = orvane::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (const std::optional<int> exitCode = answerCommandLine(line))
        return *exitCode;
    const std::optional<std::string> startPath
        = line.path ? std::optional(orvane::absolutePath(*line.path, currentFolder(), '/')) : std::nullopt;

    // libmpv refuses to start under any other numeric locale, and Qt sets the
    // locale from the environment while it starts, so this is said twice.
    std::setlocale(LC_NUMERIC, "C");
    orvane::applyQtPlatformChoice();
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    QApplication::setApplicationName(QStringLiteral("Orvane"));
    QApplication::setDesktopFileName(QString::fromLatin1(orvane::MprisPlayer::DesktopEntry));
    QApplication::setWindowIcon(orvane::appIcon());
    QApplication::setQuitOnLastWindowClosed(false);

    std::unique_ptr<orvane::AppBus> appBus = orvane::AppBus::claim();
    if (handedToRunningCopy(appBus.get(), startPath, line.chooseFolder))
        return 0;

    orvane::SettingsProvider settings(orvane::makeQtSettingsRegistry);

    orvane::AppLifetime lifetime;
    // The main window can be closed from inside one of its own handlers (the
    // walk and the tick let events through), so it is never deleted while the
    // program runs: it goes when the event loop has returned.
    std::unique_ptr<orvane::frmOrvane> mainWindow;
    std::unique_ptr<orvane::MprisService> mediaControls; // goes before the window
    orvane::StartRequests requests(appBus.get(), startPath, line.chooseFolder);
    auto showMainWindow = [&] {
        mainWindow = std::make_unique<orvane::frmOrvane>(settings);
        QObject::connect(mainWindow.get(), &orvane::frmOrvane::unloaded, &lifetime,
                         [&lifetime] { lifetime.mainWindowUnloaded(); });
        if (startPath) {
            mainWindow->player().pathRefused().connect([&startPath](const std::string& path) {
                if (path == *startPath)
                    printPathError(path);
            });
        }
        mainWindow->keepPlaceIn(orvane::makePlaceFile());
        // Even Loudness measures folders without gain tags by libmpg123.
        mainWindow->mmControl().levelling()->measureWith(std::make_shared<orvane::Mpg123Decoder>(),
                                                          orvane::defaultLoudnessCachePath());
        mediaControls = orvane::MprisService::start(*mainWindow);
        mainWindow->show();
        // Once the window is on screen: the path the program was given plays,
        // or else a sequence the program was ended in plays on by itself.
        QTimer::singleShot(0, mainWindow.get(), [&] { requests.windowUp(*mainWindow); });
    };
    orvane::SessionEnd sessionEnd([&mainWindow] {
        if (mainWindow)
            mainWindow->sessionEnds();
        orvane::SessionEnd::closeProgram(mainWindow.get());
    });
    auto* splash = new orvane::frmSplash(settings, showMainWindow);
    splash->setAttribute(Qt::WA_DeleteOnClose);
    splash->show();

    return app.exec();
}
