#include "app/command_line.h"
#include "platform/file_system.h"
#include "player/play_start.h"
#include "qt/app_bus.h"
#include "qt/app_icon.h"
#include "qt/app_lifetime.h"
#include "qt/frm_orvane.h"
#include "qt/frm_splash.h"
#include "qt/mpris.h"
#include "qt/place_file.h"
#include "qt/platform_choice.h"
#include "qt/qt_settings_registry.h"
#include "qt/session_end.h"
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
#include <utility>
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

    // A start with a folder while Orvane runs hands it over and ends; one
    // without starts a copy of its own, as ever.
    std::unique_ptr<orvane::AppBus> appBus = orvane::AppBus::claim();
    if (startPath && appBus && !appBus->ownsName()) {
        if (!orvane::resolvePlayStart(*orvane::makeNativeFileSystem(), *startPath))
            printPathError(*startPath); // the running copy's window shows it too
        if (appBus->handOver(*startPath))
            return 0;
        // No answer from the copy that holds the name: this one plays it.
    }

    orvane::SettingsProvider settings(orvane::makeQtSettingsRegistry);

    orvane::AppLifetime lifetime;
    // The main window can be closed from inside one of its own handlers (the
    // walk and the tick let events through), so it is never deleted while the
    // program runs: it goes when the event loop has returned.
    std::unique_ptr<orvane::frmOrvane> mainWindow;
    std::unique_ptr<orvane::MprisService> mediaControls; // goes before the window
    // What plays once the main window is up: the start's own path, or the
    // last one handed over before then.
    std::optional<std::string> firstPath = startPath;
    bool windowUp = false;
    if (appBus) {
        QObject::connect(appBus.get(), &orvane::AppBus::openRequested, [&](const QByteArray& path) {
            if (windowUp)
                mainWindow->playRequested(path.toStdString());
            else
                firstPath = path.toStdString();
        });
        QObject::connect(appBus.get(), &orvane::AppBus::activateRequested, [&] {
            if (windowUp)
                mainWindow->mnuSettings_Click();
        });
    }
    auto showMainWindow = [&] {
        mainWindow = std::make_unique<orvane::frmOrvane>(settings);
        QObject::connect(mainWindow.get(), &orvane::frmOrvane::unloaded, &lifetime, [&lifetime, &windowUp] {
            windowUp = false;
            lifetime.mainWindowUnloaded();
        });
        if (startPath) {
            mainWindow->player().pathRefused().connect([&startPath](const std::string& path) {
                if (path == *startPath)
                    printPathError(path);
            });
        }
        mainWindow->keepPlaceIn(orvane::makePlaceFile());
        mediaControls = orvane::MprisService::start(*mainWindow);
        mainWindow->show();
        // Once the window is on screen: the path the program was given plays,
        // or else a sequence the program was ended in plays on by itself.
        QTimer::singleShot(0, mainWindow.get(), [&] {
            windowUp = true;
            mainWindow->playAtStart(std::exchange(firstPath, std::nullopt));
        });
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
