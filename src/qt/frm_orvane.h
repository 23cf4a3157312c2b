#pragma once

#include "media/mm_control.h"
#include "platform/file_system.h"
#include "qt/qt_ui_host.h"
#include "player/control_model.h"
#include "player/player.h"
#include "settings/mod_reg.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace orvane {

// An option button that a click only ever selects; which of the pair is
// selected is the player's business (optDate_Click / optName_Click), and at
// start-up neither is.
class OptionButton : public QRadioButton {
    Q_OBJECT
public:
    OptionButton(const QString& text, QWidget* parent);

protected:
    void nextCheckState() override { setChecked(true); }
};

// The main window: a view over the Player. The control model's every change
// shows on the widgets at once; clicks go to the player's handlers.
class frmOrvane : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* Caption = "MP3 Orvane";

    explicit frmOrvane(SettingsProvider& settings, QWidget* parent = nullptr);
    frmOrvane(std::unique_ptr<MMControl> mmControl, std::unique_ptr<FileSystem> fileSystem,
              SettingsProvider& settings, QWidget* parent = nullptr);
    ~frmOrvane() override;

    Player& player() { return *player_; }
    ControlModel& controls() { return player_->controls(); }
    MMControl& mmControl() { return *MMControl1_; }
    QtUiHost& uiHost() { return ui_; }
    bool isUnloaded() const { return unloaded_; }

    void cmdPath_Click();

    // Tray popup items and the minimise handler.
    void mnuSettings_Click();
    void mnuAbout_Click();
    void mnuExit_Click();
    void Form_Resize();

    QLabel* Label2;
    QLineEdit* Text1;
    QPushButton* cmdPath;
    QFrame* Line1;
    QLabel* Label1;
    OptionButton* optDate;
    OptionButton* optName;
    QFrame* Line3;
    QCheckBox* ckRepeat;
    QCheckBox* ckSub;
    QFrame* Line2;
    QPushButton* cmdStop;
    QPushButton* cmdSkip;
    QPushButton* cmdPause;
    QPushButton* cmdPlay;
    QTimer Timer1;

    QMenu* RCPopup;
    QAction* mnuPlay;
    QAction* mnuPause;
    QAction* mnuSkip;
    QAction* mnuStop;
    QAction* mnuSettings;
    QAction* mnuAbout;
    QAction* mnuExit;

signals:
    // The main window has unloaded: the media control is closed and the
    // settings are stored.
    void unloaded();

protected:
    void closeEvent(QCloseEvent* event) override; // Form_Unload
    void changeEvent(QEvent* event) override;

private:
    void Form_Load();
    void Form_Unload();
    void buildControls();
    void buildPopupMenu();
    void placeControls();
    void connectControls();
    void mirror(Ctl control);
    void mirrorAll();

    SettingsProvider& settings_;
    std::unique_ptr<MMControl> MMControl1_;
    std::unique_ptr<FileSystem> fileSystem_;
    QtUiHost ui_;
    std::unique_ptr<Player> player_;
    bool unloaded_ = false;
};

} // namespace orvane
