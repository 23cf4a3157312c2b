#include "qt/start_requests.h"

#include "app/command_line.h"
#include "qt/app_bus.h"
#include "qt/frm_orvane.h"

#include <QTimer>

#include <utility>

namespace orvane {

StartRequests::StartRequests(AppBus* bus, std::optional<std::string> path, bool choose, QObject* parent)
    : QObject(parent)
    , path_(std::move(path))
    , chooseFolder_(choose && !path_)
{
    if (!bus)
        return;
    connect(bus, &AppBus::openRequested, this, [this](const QByteArray& path) { play(path.toStdString()); });
    connect(bus, &AppBus::activateRequested, this, [this] {
        if (window_ && !window_->isUnloaded())
            window_->mnuSettings_Click();
    });
    connect(bus, &AppBus::actionRequested, this, [this](const QString& action) {
        if (action == QLatin1String(ChooseFolderAction))
            chooseFolder();
    });
}

void StartRequests::windowUp(frmOrvane& window)
{
    window_ = &window;
    if (std::exchange(chooseFolder_, false))
        chooseFolderLater();
    else
        window.playAtStart(std::exchange(path_, std::nullopt));
}

void StartRequests::play(const std::string& path)
{
    if (!window_) {
        path_ = path;
        chooseFolder_ = false;
        return;
    }
    window_->playRequested(path);
}

void StartRequests::chooseFolder()
{
    if (!window_) {
        chooseFolder_ = true;
        path_.reset();
        return;
    }
    chooseFolderLater();
}

// Once the call that asked for it has been answered: the dialog waits for
// the user, the caller must not.
void StartRequests::chooseFolderLater()
{
    QTimer::singleShot(0, this, [this] {
        if (window_)
            window_->playFolderChosen();
    });
}

} // namespace orvane
