#pragma once

#include "platform/ui_host.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <string>

namespace orvane {

// The player's window services on Qt: the yield runs the event loop once, the
// message box and the hourglass belong to the main window.
class QtUiHost : public UiHost {
public:
    explicit QtUiHost(QWidget* owner);
    ~QtUiHost() override;

    void yield() override;
    void messageBox(const std::string& text, int style, const std::string& title) override;
    void setMousePointer(int code) override;
    void requestTick() override;
    void post(std::function<void()> call) override;

    bool hourglassShown() const { return hourglass_; }

private:
    QPointer<QWidget> owner_;
    bool hourglass_ = false;
    bool tickPosted_ = false;
    QObject tickContext_; // pending requested ticks and posted calls die with the host
};

// Native path bytes of the core <-> text shown in the window.
std::string toNativePath(const QString& text);
QString fromNativePath(const std::string& path);

} // namespace orvane
