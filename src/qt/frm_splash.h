#pragma once

#include "qt/product_frame.h"
#include "settings/mod_reg.h"

#include <QFrame>
#include <QLabel>
#include <QTimer>

#include <functional>

namespace orvane {

// The startup window: settles the stored settings for this version, shows
// the product name for half a second (less on a key or a click on its frame),
// and when it unloads the main window appears.
class frmSplash : public QFrame {
    Q_OBJECT
public:
    static constexpr int TimerIntervalMs = 500;

    // showMainWindow runs once, when the window unloads.
    frmSplash(SettingsProvider& settings, std::function<void()> showMainWindow, QWidget* parent = nullptr);

    void Timer1_Timer();
    void Frame1_Click();
    bool isUnloaded() const { return unloaded_; }

    int SplashTicks = 0;
    int SplashTickLimit = 0;

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
    void Form_Load();
    void Form_Unload();
    void buildControls();
    void placeControls();

    SettingsProvider& settings_;
    std::function<void()> showMainWindow_;
    bool unloaded_ = false;
};

} // namespace orvane
