#pragma once

#include <QObject>
#include <QPointer>

#include <optional>
#include <string>

namespace orvane {

class AppBus;
class frmOrvane;

// What reaches the program from outside, for its main window: the path it
// was started with or the folder dialog it was asked for, and what later
// starts hand over through the bus (a path, the dialog, a call to come
// forward). Until the main window is up the newest of them waits; from then
// on each goes to the window at once, while it is loaded.
class StartRequests : public QObject {
    Q_OBJECT
public:
    // bus: null where there is none.
    StartRequests(AppBus* bus, std::optional<std::string> path, bool choose, QObject* parent = nullptr);

    // The main window is on screen: what waits plays (or the dialog comes
    // up); without anything waiting, a sequence the program was ended in
    // plays on by itself.
    void windowUp(frmOrvane& window);

private:
    void play(const std::string& path);
    void chooseFolder();
    void chooseFolderLater();

    QPointer<frmOrvane> window_;
    std::optional<std::string> path_;
    bool chooseFolder_ = false;
};

} // namespace orvane
