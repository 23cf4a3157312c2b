#pragma once

#include <QObject>

#include <functional>

namespace orvane {

// Ends the process when no window of the program is left: once the main
// window has unloaded and every other window (About, a message box) is
// closed. A main window hidden in the tray is not unloaded, so closing
// another window then must not end the program.
class AppLifetime : public QObject {
    Q_OBJECT
public:
    // quit defaults to QCoreApplication::quit.
    explicit AppLifetime(std::function<void()> quit = {}, QObject* parent = nullptr);
    ~AppLifetime() override;

    void mainWindowUnloaded();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void scheduleCheck();
    void check();
    static bool anyWindowVisible();

    std::function<void()> quit_;
    bool mainUnloaded_ = false;
    bool checkPending_ = false;
    bool quitting_ = false;
};

} // namespace orvane
