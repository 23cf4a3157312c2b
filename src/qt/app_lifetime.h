#pragma once

#include "app/program_lifetime.h"

#include <QObject>

#include <functional>

namespace orvane {

// The program's lifetime on Qt: every top-level widget that hides counts as a
// window gone; the program ends with the event loop.
class AppLifetime : public QObject, public ProgramLifetime {
    Q_OBJECT
public:
    // quit defaults to QCoreApplication::quit.
    explicit AppLifetime(std::function<void()> quit = {}, QObject* parent = nullptr);
    ~AppLifetime() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void checkLater() override;
    bool anyWindowShown() const override;
    void endProgram() override;

    std::function<void()> quit_;
};

} // namespace orvane
