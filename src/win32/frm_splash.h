#pragma once

#include "app/splash_form.h"
#include "win32/product_frame.h"

#include <functional>
#include <memory>

namespace orvane {

// The startup window on Win32: the product name for half a second (less on a
// key or a click on its frame); when it unloads the main window appears.
class frmSplash : public win::Window, public SplashForm {
public:
    // showMainWindow runs once, when the window unloads.
    frmSplash(SettingsProvider& settings, std::function<void()> showMainWindow);

    void show();
    win::ProductFrame& frame() { return *Frame1; }

private:
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void placeControls();
    void showVersion(const std::string& caption) override;
    void startTimer1(int intervalMs) override;
    void stopTimer1() override;
    void closeWindow() override;
    void showMainWindow() override;

    std::unique_ptr<win::ProductFrame> Frame1;
    std::function<void()> showMainWindow_;
};

} // namespace orvane
