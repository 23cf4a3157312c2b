#pragma once

#include <QObject>

#include <array>
#include <csignal>
#include <functional>

class QWidget;

namespace orvane {

// The end of the user's session, or a request to terminate (SIGTERM, SIGINT,
// SIGHUP), ends the program as a close of its main window does, so the
// settings are stored as at any close. The signal handler only writes a byte
// to a socket; the program's own work runs later on the event loop, like any
// other event, also when that loop is a yield inside the walk or a tick.
class SessionEnd : public QObject {
    Q_OBJECT
public:
    // endProgram runs on the event loop, once, however many requests come.
    explicit SessionEnd(std::function<void()> endProgram, QObject* parent = nullptr);
    ~SessionEnd() override;

    // What the program does at such an end: the main window unloads (its
    // close, which stores the settings) and every other window closes, so the
    // lifetime rule ends the process. Before the main window exists nothing
    // is typed yet, and the program simply ends.
    static void closeProgram(QWidget* mainWindow);

    static constexpr std::size_t SignalCount = 3;

private:
    void requested();

    std::function<void()> endProgram_;
    std::array<struct sigaction, SignalCount> previous_{};
    bool installed_ = false;
    bool ending_ = false;
};

} // namespace orvane
