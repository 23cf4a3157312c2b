#include "qt/session_end.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <array>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane {

namespace {

constexpr std::array<int, SessionEnd::SignalCount> EndSignals{SIGTERM, SIGINT, SIGHUP};

// One socket pair for the whole process, never closed: a handler still
// running on another thread can never write to a closed or reused
// descriptor. [0] is written by the handler, [1] read on the event loop.
int wakeFds[2] = {-1, -1};

void openWakeSocket()
{
    if (wakeFds[0] < 0)
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, wakeFds);
}

// Async-signal-safe: one write, errno kept. A full socket already holds a
// wake-up, so a failed write loses nothing.
void onEndSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(wakeFds[0], &byte, 1);
    errno = savedErrno;
}

void drainWakeSocket()
{
    char buffer[64];
    while (read(wakeFds[1], buffer, sizeof buffer) > 0) {
    }
}

} // namespace

SessionEnd::SessionEnd(std::function<void()> endProgram, QObject* parent)
    : QObject(parent)
    , endProgram_(std::move(endProgram))
{
#if QT_CONFIG(sessionmanager)
    // The session manager wants the program's data committed: the session is
    // ending. The close waits until the request has been answered.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] {
        QMetaObject::invokeMethod(this, &SessionEnd::requested, Qt::QueuedConnection);
    });
#endif

    openWakeSocket();
    if (wakeFds[1] < 0)
        return; // the signals keep their default action
    auto* notifier = new QSocketNotifier(wakeFds[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] { requested(); });

    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < EndSignals.size(); ++i)
        sigaction(EndSignals[i], &action, &previous_[i]);
    installed_ = true;
}

SessionEnd::~SessionEnd()
{
    if (!installed_)
        return;
    for (std::size_t i = 0; i < EndSignals.size(); ++i)
        sigaction(EndSignals[i], &previous_[i], nullptr);
    drainWakeSocket();
}

void SessionEnd::requested()
{
    drainWakeSocket();
    if (ending_)
        return;
    ending_ = true;
    endProgram_();
}

void SessionEnd::closeProgram(QWidget* mainWindow)
{
    if (!mainWindow) {
        QCoreApplication::exit(0);
        return;
    }
    mainWindow->close(); // also when it hides in the tray
    QApplication::closeAllWindows();
}

} // namespace orvane
