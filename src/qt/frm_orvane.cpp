#include "qt/frm_orvane.h"

#include "qt/accessibility.h"
#include "qt/app_icon.h"
#include "qt/heard_track.h"
#include "qt/media_factory.h"
#include "qt/mod_browse.h"
#include "qt/mpris.h"
#include "player/play_start.h"
#include "qt/qt_settings_registry.h"
#include "qt/qt_ui_host.h"
#include "qt/sys_tray_handlers.h"
#include "qt/twips.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QShortcut>
#include <QUrl>

#include <sys/stat.h>

#include <map>
#include <string_view>
#include <utility>

namespace orvane {

namespace {

// The window's face is MS Sans Serif 8.25 pt. Where that font is missing the
// layout needs one of the same narrow build (the desktop's default sans,
// DejaVu on most Linux systems, is too wide for "Subdirectories" in its box),
// so Arial's metric twin comes next, then the desktop's own.
QFont windowFont()
{
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      font.family()});
    font.setPointSizeF(8.25);
    return font;
}

QLabel* makeHeading(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    font.setUnderline(true);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    return label;
}

QFrame* makeLine(QFrame::Shape shape, QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(shape);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// A thin line between two points, as a sunken QFrame a few pixels thick
// centred on them.
QRect lineRect(const Twips& tw, const layout::TwipsLine& line)
{
    const auto [x1, y1] = line.from;
    const auto [x2, y2] = line.to;
    if (y1 == y2)
        return QRect(tw.x(x1), tw.y(y1) - 1, tw.x(x2) - tw.x(x1) + 1, 3);
    return QRect(tw.x(x1) - 1, tw.y(y1), 3, tw.y(y2) - tw.y(y1) + 1);
}

} // namespace

std::optional<std::string> droppedPath(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return std::nullopt;
    for (const QUrl& url : data->urls()) {
        const std::optional<std::string> path = localPath(url.toEncoded());
        struct stat info {};
        if (!path || ::stat(path->c_str(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode) || (S_ISREG(info.st_mode) && matchesMp3(*path)))
            return absolutePath(*path, "/", '/');
    }
    return std::nullopt;
}

OptionButton::OptionButton(const QString& text, QWidget* parent)
    : QRadioButton(text, parent)
{
    setAutoExclusive(false);
}

frmOrvane::frmOrvane(SettingsProvider& settings, QWidget* parent)
    : frmOrvane(makeMediaControl(), makeNativeFileSystem(), settings, parent, FileReads::OffWindowThread)
{
}

frmOrvane::frmOrvane(std::unique_ptr<MMControl> mmControl, std::unique_ptr<FileSystem> fileSystem,
                     SettingsProvider& settings, QWidget* parent, FileReads reads)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                  | Qt::WindowSystemMenuHint
                  | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint
                  | Qt::MSWindowsFixedSizeDialogHint)
    , MainForm(std::move(mmControl), std::move(fileSystem), std::make_unique<QtUiHost>(this), settings, reads)
{
    installAccessibleInterfaces();
    setWindowTitle(QString::fromLatin1(Caption));
    // Kept while the window is minimised to the tray, where Qt would name it
    // by its (empty) icon text.
    setAccessibleName(QString::fromLatin1(Caption));
    setWindowIcon(appIcon());
    setFont(windowFont());
    buildControls();
    buildPopupMenu();
    placeControls();
    connectControls();
    addSeekKeys();

    attachTray(SysTrayHandlers::install(this, RCPopup, [this] { return player().Paused; }));
    setAcceptDrops(true);

    Timer1.setInterval(Timer1IntervalMs);
    mirrorConnection_ = controls().changes().connect([this](Ctl c) {
        mirror(c);
        emit controlsChanged();
    });
    mirrorAll();
    heard_ = new HeardTrack(*this, this);
    connect(heard_, &HeardTrack::changed, this, &frmOrvane::describePlayback);
    sleepConnection_ = player().sleepChanged().connect([this] {
        showSleepChoice();
        describePlayback();
    });
    Form_Load();
    describePlayback();
}

frmOrvane::~frmOrvane()
{
    delete heard_; // it leaves the player's signal, which goes before the window's children
    player().sleepChanged().disconnect(sleepConnection_);
    controls().changes().disconnect(mirrorConnection_);
}

void frmOrvane::buildControls()
{
    // Created in tab order, so focus moves as the layout reads (and a screen
    // reader reads the controls in that order too).
    fraOrder = nullptr;
    for (const layout::Control& c : layout::MainControls) {
        QWidget* parent = this;
        if (c.kind == layout::Kind::Option) {
            if (!fraOrder) {
                fraOrder = new OptionGroup(this);
                fraOrder->setObjectName(QStringLiteral("fraOrder"));
            }
            parent = fraOrder;
        }
        widgets_[c.name] = makeControl(c, parent);
    }
    for (const layout::TwipsLine& line : layout::MainLines)
        widgets_[line.name] = makeLine(line.from.y == line.to.y ? QFrame::HLine : QFrame::VLine, this);
    QWidget* previous = nullptr;
    for (const layout::Control& c : layout::MainControls) {
        QWidget* w = widgets_.at(c.name);
        w->setObjectName(QString::fromLatin1(c.name));
        if (c.kind == layout::Kind::Heading)
            continue;
        if (previous)
            setTabOrder(previous, w);
        previous = w;
    }

    Label2 = static_cast<QLabel*>(widgets_.at("Label2"));
    Text1 = static_cast<QLineEdit*>(widgets_.at("Text1"));
    cmdPath = static_cast<QPushButton*>(widgets_.at("cmdPath"));
    Line1 = static_cast<QFrame*>(widgets_.at("Line1"));
    Label1 = static_cast<QLabel*>(widgets_.at("Label1"));
    optDate = static_cast<OptionButton*>(widgets_.at("optDate"));
    optName = static_cast<OptionButton*>(widgets_.at("optName"));
    Line3 = static_cast<QFrame*>(widgets_.at("Line3"));
    ckRepeat = static_cast<QCheckBox*>(widgets_.at("ckRepeat"));
    ckSub = static_cast<QCheckBox*>(widgets_.at("ckSub"));
    Line2 = static_cast<QFrame*>(widgets_.at("Line2"));
    cmdStop = static_cast<QPushButton*>(widgets_.at("cmdStop"));
    cmdSkip = static_cast<QPushButton*>(widgets_.at("cmdSkip"));
    cmdPause = static_cast<QPushButton*>(widgets_.at("cmdPause"));
    cmdPlay = static_cast<QPushButton*>(widgets_.at("cmdPlay"));

    // What a screen reader says beside the captions the window shows.
    Label2->setBuddy(Text1);
    // A drop on the play path box is the window's, not text typed into it.
    Text1->setAcceptDrops(false);
    Text1->setAccessibleName(Label2->text());
    fraOrder->setAccessibleName(Label1->text());
}

QWidget* frmOrvane::makeControl(const layout::Control& c, QWidget* parent)
{
    const QString caption = QString::fromLatin1(c.caption);
    switch (c.kind) {
    case layout::Kind::Heading: return makeHeading(caption, parent);
    case layout::Kind::TextBox: {
        auto* box = new QLineEdit(parent);
        // What the box holds, the store keeps whole.
        box->setMaxLength(int(QSettingsRegistry::MaxValueLength));
        return box;
    }
    case layout::Kind::Button: {
        auto* button = new QPushButton(caption, parent);
        button->setAutoDefault(false);
        return button;
    }
    case layout::Kind::Option: return new OptionButton(caption, parent);
    case layout::Kind::CheckBox: return new QCheckBox(caption, parent);
    }
    return nullptr;
}

void frmOrvane::buildPopupMenu()
{
    RCPopup = new QMenu(this);
    RCPopup->setAccessibleName(QString::fromLatin1(layout::PopupMenuName));
    for (const layout::MenuItem& item : layout::PopupMenu) {
        if (std::string_view(item.caption) == "-") {
            RCPopup->addSeparator();
            continue;
        }
        QAction* action = RCPopup->addAction(QString::fromLatin1(item.caption));
        action->setObjectName(QString::fromLatin1(item.name));
        action->setCheckable(item.check);
        actions_[item.name] = action;
    }
    mnuPlay = actions_.at("mnuPlay");
    mnuPause = actions_.at("mnuPause");
    mnuSkip = actions_.at("mnuSkip");
    mnuStop = actions_.at("mnuStop");
    mnuShuffle = actions_.at("mnuShuffle");
    mnuEvenLoudness = actions_.at("mnuEvenLoudness");
    mnuSettings = actions_.at("mnuSettings");
    mnuAbout = actions_.at("mnuAbout");
    mnuExit = actions_.at("mnuExit");
    mnuSleep = buildSleepMenu(RCPopup);
    RCPopup->insertMenu(mnuSettings, mnuSleep);
    RCPopup->insertSeparator(mnuSettings);
}

// One choice checked at a time: the one the sleep runs with, Off when none.
QMenu* frmOrvane::buildSleepMenu(QWidget* parent)
{
    auto* menu = new QMenu(QString::fromLatin1(SleepMenuCaption), parent);
    menu->setObjectName(QString::fromLatin1(SleepMenuName));
    auto* group = new QActionGroup(menu);
    for (const SleepMenuItem& item : SleepMenu) {
        QAction* action = menu->addAction(QString::fromLatin1(item.caption));
        action->setObjectName(QString::fromLatin1(item.name));
        action->setCheckable(true);
        group->addAction(action);
        sleepChoices_[item.choice] = action;
        connect(action, &QAction::triggered, this, [this, name = item.name] { click(name); });
    }
    showSleepChoice();
    return menu;
}

void frmOrvane::showSleepChoice()
{
    if (const auto it = sleepChoices_.find(player().sleep().choice()); it != sleepChoices_.end())
        it->second->setChecked(true);
}

// Back and forward within the file heard; the tray has no such items on a
// desktop whose media controls seek.
void frmOrvane::addSeekKeys()
{
    auto* back = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Left), this);
    connect(back, &QShortcut::activated, this, [this] { seekBack(); });
    auto* forward = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Right), this);
    connect(forward, &QShortcut::activated, this, [this] { seekForward(); });
}

void frmOrvane::placeControls()
{
    const Twips tw = Twips::of(*this);
    setFixedSize(tw.size(layout::MainClient));
    QRect order;
    for (const layout::Control& c : layout::MainControls) {
        if (c.kind == layout::Kind::Option)
            order |= tw.rect(c.rect);
    }
    fraOrder->setGeometry(order);
    // The places are the window's; a control inside the group is placed
    // relative to it.
    for (const layout::Control& c : layout::MainControls) {
        QWidget* w = widgets_.at(c.name);
        const QPoint origin = w->parentWidget() == this ? QPoint() : w->parentWidget()->pos();
        w->setGeometry(tw.rect(c.rect).translated(-origin));
    }
    for (const layout::TwipsLine& line : layout::MainLines)
        widgets_.at(line.name)->setGeometry(lineRect(tw, line));
}

void frmOrvane::connectControls()
{
    Player& p = player();
    connect(&Timer1, &QTimer::timeout, this, [&p] { p.Timer1_Timer(); });

    connect(Text1, &QLineEdit::textEdited, this,
            [this](const QString& text) { Text1_Change(toNativePath(text)); });
    // clicked comes from the user only, never from the mirror's setChecked.
    for (const layout::Control& c : layout::MainControls) {
        if (auto* button = qobject_cast<QAbstractButton*>(widgets_.at(c.name)); button && handles(c.name))
            connect(button, &QAbstractButton::clicked, this, [this, name = c.name](bool checked) { click(name, checked); });
    }
    for (const auto& [name, action] : actions_)
        connect(action, &QAction::triggered, this, [this, name = name](bool checked) { click(name, checked); });
}

// A menu item follows its enabled state only; the window's controls also
// show their values.
void frmOrvane::mirror(Ctl control)
{
    const ControlModel& m = controls();
    if (control == Ctl::Timer1) {
        if (!timer1Runs())
            Timer1.stop();
        else if (!Timer1.isActive())
            Timer1.start();
        return;
    }
    const std::string_view name = ctlName(control);
    const bool on = m.enabled(control);
    if (const auto item = actions_.find(name); item != actions_.end()) {
        item->second->setEnabled(on);
        if (item->second->isCheckable())
            item->second->setChecked(m.checked(control));
        return;
    }
    QWidget* w = widgets_.at(name);
    w->setEnabled(on);
    if (auto* box = qobject_cast<QAbstractButton*>(w); box && box->isCheckable()) {
        box->setChecked(m.checked(control));
    } else if (control == Ctl::Text1) {
        // Only text that differs is put back, so typing keeps its cursor.
        const QString text = fromNativePath(m.Text1());
        if (Text1->text() != text)
            Text1->setText(text);
    }
}

// What the window tells a screen reader, and the tray icon's tip: each
// changes only when what plays does. The icon shows its tip once the command
// of the moment is over, which may have made the icon anew with it.
void frmOrvane::describePlayback()
{
    const std::string title = heard_->title().toStdString();
    const QString text = QString::fromStdString(playbackDescription(title));
    if (accessibleDescription() != text)
        setAccessibleDescription(text);
    setTrayTip(title);
    if (!std::exchange(tipQueued_, true))
        QTimer::singleShot(0, this, [this] {
            tipQueued_ = false;
            showTrayTip();
        });
}

void frmOrvane::mirrorAll()
{
    for (std::size_t i = 0; i < static_cast<std::size_t>(Ctl::Count); ++i)
        mirror(static_cast<Ctl>(i));
}

std::string frmOrvane::showFolderDialog()
{
    return modBrowse::chooseFolder(this);
}

void frmOrvane::closeWindow()
{
    close();
}

void frmOrvane::stopTimer1()
{
    Timer1.stop();
}

void frmOrvane::afterUnload()
{
    emit unloaded();
}

void frmOrvane::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void frmOrvane::dragEnterEvent(QDragEnterEvent* event)
{
    if (droppedPath(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void frmOrvane::dropEvent(QDropEvent* event)
{
    const std::optional<std::string> path = droppedPath(event->mimeData());
    if (!path) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    playRequested(*path);
}

// The tray's menu, on the window: a right click on it (the play path box
// keeps its own menu of editing commands), or the keyboard's Menu key or
// Shift+F10, at the control that has the focus.
void frmOrvane::contextMenuEvent(QContextMenuEvent* event)
{
    RCPopup->popup(event->globalPos());
    event->accept();
}

void frmOrvane::keyPressEvent(QKeyEvent* event)
{
    const bool menuKey = event->key() == Qt::Key_Menu
        || (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
    if (!menuKey) {
        QWidget::keyPressEvent(event);
        return;
    }
    QWidget* at = focusWidget() ? focusWidget() : this;
    const QPoint centre = at->rect().center();
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, centre, at->mapToGlobal(centre));
    QCoreApplication::sendEvent(at, &menu);
}

void frmOrvane::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}


} // namespace orvane
