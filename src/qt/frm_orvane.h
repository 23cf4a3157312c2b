#pragma once

#include "app/main_form.h"

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

#include "app/form_layouts.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QMimeData;

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

// "Date" and "Name" as one choice, for assistive technology; it draws
// nothing of its own.
class OptionGroup : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
};

class HeardTrack;

// What a drop plays: the first of its items that is a local folder or an
// ".mp3" file, byte for byte; nothing when none is.
std::optional<std::string> droppedPath(const QMimeData* data);

// The main window on Qt: a view over the Player. The control model's every
// change shows on the widgets at once; clicks go to the handlers.
class frmOrvane : public QWidget, public MainForm {
    Q_OBJECT
public:
    explicit frmOrvane(SettingsProvider& settings, QWidget* parent = nullptr);
    frmOrvane(std::unique_ptr<MMControl> mmControl, std::unique_ptr<FileSystem> fileSystem,
              SettingsProvider& settings, QWidget* parent = nullptr, FileReads reads = FileReads::AtOnce);
    ~frmOrvane() override;

    QLabel* Label2;
    QLineEdit* Text1;
    QPushButton* cmdPath;
    QFrame* Line1;
    QLabel* Label1;
    OptionGroup* fraOrder; // holds optDate and optName
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
    QAction* mnuShuffle;
    QAction* mnuEvenLoudness;
    QAction* mnuSettings;
    QAction* mnuAbout;
    QAction* mnuExit;
    QMenu* mnuSleep; // the sleep's choices, one checked

signals:
    // The main window has unloaded: the media control is closed and the
    // settings are stored.
    void unloaded();
    // A control of the model has changed (after the widgets show it).
    void controlsChanged();

protected:
    void closeEvent(QCloseEvent* event) override; // Form_Unload
    void changeEvent(QEvent* event) override;
    // A local folder or ".mp3" file dropped on the window plays (see
    // droppedPath); a drop of anything else is refused.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    QWidget* makeControl(const layout::Control& c, QWidget* parent);
    void describePlayback();
    void buildPopupMenu();
    QMenu* buildSleepMenu(QWidget* parent);
    void showSleepChoice();
    void addSeekKeys();
    void placeControls();
    void connectControls();
    void mirror(Ctl control);
    void mirrorAll();
    std::string showFolderDialog() override;
    void closeWindow() override;
    void stopTimer1() override;
    void afterUnload() override;

    // The widgets and tray items by their names in the layout tables.
    std::map<std::string_view, QWidget*> widgets_;
    Signal<Ctl>::Handle mirrorConnection_ = 0;
    std::map<std::string_view, QAction*> actions_;
    HeardTrack* heard_ = nullptr;
    bool tipQueued_ = false;
    Signal<>::Handle sleepConnection_ = 0;
    std::map<SleepTimer::Choice, QAction*> sleepChoices_;
};

} // namespace orvane
