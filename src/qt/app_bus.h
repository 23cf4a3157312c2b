#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QObject>

#include <chrono>
#include <memory>
#include <string>

namespace orvane {

// The program on the session bus under its desktop entry's name, as
// freedesktop's D-Bus activation of desktop entries has it: the interface
// org.freedesktop.Application at the name's own path. The copy that holds
// the name is the one a later start with a folder hands it to; the bus gives
// the name to one copy only, however many ask at once.
class AppBus : public QObject {
    Q_OBJECT
public:
    static constexpr const char* ObjectPath = "/org/example/orvane";
    static constexpr const char* Interface = "org.freedesktop.Application";
    // How long a second start waits for the running copy to take its path.
    static constexpr std::chrono::milliseconds HandOverWait{700};

    // Puts the interface on the bus, then asks for the name. Null, quietly,
    // when there is no session bus.
    static std::unique_ptr<AppBus> claim(QDBusConnection bus = QDBusConnection::sessionBus());
    ~AppBus() override;

    // This copy holds the name: starts with a folder hand it here.
    bool ownsName() const { return ownsName_; }

    // Hands an absolute path to the copy that holds the name (Open with its
    // file:// URI); whether that copy took it within wait.
    bool handOver(const std::string& path, std::chrono::milliseconds wait = HandOverWait);
    // Asks the copy that holds the name for one of the menu entry's actions
    // (ActivateAction); whether it took the request within wait.
    bool askForAction(const QString& action, std::chrono::milliseconds wait = HandOverWait);

signals:
    // Open: the first local path among its URIs, byte for byte.
    void openRequested(const QByteArray& path);
    // Activate: the program is asked to come forward.
    void activateRequested();
    // ActivateAction: one of the menu entry's actions, by its name.
    void actionRequested(const QString& action);

private:
    explicit AppBus(QDBusConnection bus);

    QDBusConnection bus_;
    bool registered_ = false;
    bool ownsName_ = false;
};

} // namespace orvane
