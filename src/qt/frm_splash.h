#pragma once

#include "app/splash_form.h"
#include "qt/product_frame.h"

#include <QFrame>
#include <QLabel>
#include <QTimer>

#include <functional>

namespace orvane {

// The startup window on Qt: the product name for half a second (less on a
// key or a click on its frame); when it unloads the main window appears.
class frmSplash : public QFrame, public SplashForm {
    Q_OBJECT
public:
    // showMainWindow runs once, when the window unloads.
    frmSplash(SettingsProvider& settings, std::function<void()> showMainWindow, QWidget* parent = nullptr);

    ProductFrame* Frame1;
    QLabel* imgLogo;
    QLabel* lblCompanyProduct;
    QLabel* lblProductName;
    QLabel* lblVersion;
    QLabel* lblWarning;
    QTimer Timer1;

protected:
    void keyPressEvent(QKeyEvent* event) override; // Form_KeyPress
    void closeEvent(QCloseEvent* event) override;  // Form_Unload
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void placeControls();
    void showVersion(const std::string& caption) override;
    void startTimer1(int intervalMs) override;
    void stopTimer1() override;
    void closeWindow() override;
    void showMainWindow() override;

    std::function<void()> showMainWindow_;
};

} // namespace orvane
