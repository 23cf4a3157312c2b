#include "app/frm_orvane.h"

#include "app/app_icon.h"
#include "app/media_factory.h"
#include "app/twips.h"
#include "desktop/mod_browse.h"
#include "desktop/sys_tray_handlers.h"
#include "settings/settings_store.h"

#include <QApplication>
#include <QCloseEvent>

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
QRect lineRect(const Twips& tw, int x1, int y1, int x2, int y2)
{
    if (y1 == y2)
        return QRect(tw.x(x1), tw.y(y1) - 1, tw.x(x2) - tw.x(x1) + 1, 3);
    return QRect(tw.x(x1) - 1, tw.y(y1), 3, tw.y(y2) - tw.y(y1) + 1);
}

} // namespace

OptionButton::OptionButton(const QString& text, QWidget* parent)
    : QRadioButton(text, parent)
{
    setAutoExclusive(false);
}

frmOrvane::frmOrvane(QWidget* parent)
    : frmOrvane(makeMediaControl(), makeNativeFileSystem(), parent)
{
}

frmOrvane::frmOrvane(std::unique_ptr<MMControl> mmControl, std::unique_ptr<FileSystem> fileSystem,
                     QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                  | Qt::WindowSystemMenuHint
                  | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint
                  | Qt::MSWindowsFixedSizeDialogHint)
    , MMControl1_(std::move(mmControl))
    , fileSystem_(std::move(fileSystem))
    , ui_(this)
    , player_(std::make_unique<Player>(*MMControl1_, *fileSystem_, ui_))
{
    setWindowTitle(QString::fromLatin1(Caption));
    setWindowIcon(appIcon());
    setFont(windowFont());
    buildControls();
    buildPopupMenu();
    placeControls();
    connectControls();

    // The tray's handlers live on the window; the menu twins refresh its icon.
    auto* tray = SysTrayHandlers::install(this, RCPopup, [this] { return player_->Paused; });
    player_->trayRefresh = [tray](const std::string& image) { tray->trayRefresh(image); };

    Timer1.setInterval(Timer1IntervalMs);
    controls().setListener([this](Ctl c) { mirror(c); });
    mirrorAll();
    Form_Load();
}

frmOrvane::~frmOrvane()
{
    ui_.setTickHandler(nullptr);
    controls().setListener(nullptr);
    MMControl1_->setDoneHandler(nullptr);
}

void frmOrvane::buildControls()
{
    // Created in tab order, so focus moves as the layout reads.
    Label2 = makeHeading(QStringLiteral("Play Path"), this);
    Text1 = new QLineEdit(this);
    cmdPath = new QPushButton(QStringLiteral("Browse"), this);
    Line1 = makeLine(QFrame::HLine, this);
    Label1 = makeHeading(QStringLiteral("File Play Order"), this);
    optDate = new OptionButton(QStringLiteral("Date"), this);
    optName = new OptionButton(QStringLiteral("Name"), this);
    Line3 = makeLine(QFrame::VLine, this);
    ckRepeat = new QCheckBox(QStringLiteral("Repeat All"), this);
    ckSub = new QCheckBox(QStringLiteral("Subdirectories"), this);
    Line2 = makeLine(QFrame::VLine, this);
    cmdStop = new QPushButton(QStringLiteral("Stop"), this);
    cmdSkip = new QPushButton(QStringLiteral("Skip"), this);
    cmdPause = new QPushButton(QStringLiteral("Pause"), this);
    cmdPlay = new QPushButton(QStringLiteral("Play"), this);

    QWidget* order[] = {Text1, cmdPath, optDate, optName, ckRepeat, ckSub,
                        cmdStop, cmdSkip, cmdPause, cmdPlay};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    for (QPushButton* button : {cmdPath, cmdStop, cmdSkip, cmdPause, cmdPlay})
        button->setAutoDefault(false);
}

void frmOrvane::buildPopupMenu()
{
    RCPopup = new QMenu(this);
    mnuPlay = RCPopup->addAction(QStringLiteral("&Play"));
    mnuPause = RCPopup->addAction(QStringLiteral("P&ause"));
    mnuSkip = RCPopup->addAction(QStringLiteral("S&kip"));
    mnuStop = RCPopup->addAction(QStringLiteral("S&top"));
    RCPopup->addSeparator();
    mnuSettings = RCPopup->addAction(QStringLiteral("&Settings"));
    RCPopup->addSeparator();
    mnuAbout = RCPopup->addAction(QStringLiteral("&About"));
    RCPopup->addSeparator();
    mnuExit = RCPopup->addAction(QStringLiteral("E&xit"));
}

void frmOrvane::placeControls()
{
    const Twips tw = Twips::of(*this);
    setFixedSize(tw.size(7455, 1305));
    Label2->setGeometry(tw.rect(120, 0, 6375, 255));
    Text1->setGeometry(tw.rect(120, 240, 6375, 285));
    cmdPath->setGeometry(tw.rect(6600, 120, 735, 375));
    Line1->setGeometry(lineRect(tw, 120, 600, 7320, 600));
    Label1->setGeometry(tw.rect(120, 720, 1575, 255));
    optDate->setGeometry(tw.rect(120, 960, 735, 375));
    optName->setGeometry(tw.rect(960, 960, 735, 375));
    Line3->setGeometry(lineRect(tw, 1800, 720, 1800, 1200));
    ckRepeat->setGeometry(tw.rect(1920, 720, 1335, 255));
    ckSub->setGeometry(tw.rect(1920, 960, 1335, 375));
    Line2->setGeometry(lineRect(tw, 3360, 720, 3360, 1200));
    cmdStop->setGeometry(tw.rect(3480, 720, 975, 495));
    cmdSkip->setGeometry(tw.rect(4440, 720, 975, 495));
    cmdPause->setGeometry(tw.rect(5400, 720, 975, 495));
    cmdPlay->setGeometry(tw.rect(6360, 720, 975, 495));
}

void frmOrvane::connectControls()
{
    Player& p = *player_;
    connect(&Timer1, &QTimer::timeout, this, [&p] { p.Timer1_Timer(); });
    // A tick asked for ahead of the interval is one more tick of Timer1.
    ui_.setTickHandler([this, &p] {
        if (Timer1.isActive())
            p.Timer1_Timer();
    });

    connect(Text1, &QLineEdit::textEdited, this,
            [this](const QString& text) { controls().setText1(toNativePath(text)); });
    connect(cmdPath, &QPushButton::clicked, this, &frmOrvane::cmdPath_Click);
    connect(optDate, &QRadioButton::clicked, this, [this] { optDate_Click(controls()); });
    connect(optName, &QRadioButton::clicked, this, [this] { optName_Click(controls()); });
    // clicked comes from the user only, never from the mirror's setChecked.
    connect(ckSub, &QCheckBox::clicked, this, [this](bool checked) {
        controls().setCkSub(checked ? 1 : 0);
        ckSub_Click(controls());
    });
    connect(ckRepeat, &QCheckBox::clicked, this, [this](bool checked) {
        controls().setCkRepeat(checked ? 1 : 0);
        ckRepeat_Click(controls());
    });

    connect(cmdStop, &QPushButton::clicked, this, [&p] { p.cmdStop_Click(); });
    connect(cmdSkip, &QPushButton::clicked, this, [&p] { p.cmdSkip_Click(); });
    connect(cmdPause, &QPushButton::clicked, this, [&p] { p.cmdPause_Click(); });
    connect(cmdPlay, &QPushButton::clicked, this, [&p] { p.cmdPlay_Click(); });

    connect(mnuPlay, &QAction::triggered, this, [&p] { p.mnuPlay_Click(); });
    connect(mnuPause, &QAction::triggered, this, [&p] { p.mnuPause_Click(); });
    connect(mnuSkip, &QAction::triggered, this, [&p] { p.mnuSkip_Click(); });
    connect(mnuStop, &QAction::triggered, this, [&p] { p.mnuStop_Click(); });
    connect(mnuSettings, &QAction::triggered, this, &frmOrvane::mnuSettings_Click);
    connect(mnuAbout, &QAction::triggered, this, &frmOrvane::mnuAbout_Click);
    connect(mnuExit, &QAction::triggered, this, &frmOrvane::mnuExit_Click);
}

void frmOrvane::mirror(Ctl control)
{
    const ControlModel& m = controls();
    const bool on = m.enabled(control);
    switch (control) {
    case Ctl::cmdPlay: cmdPlay->setEnabled(on); break;
    case Ctl::cmdPause: cmdPause->setEnabled(on); break;
    case Ctl::cmdSkip: cmdSkip->setEnabled(on); break;
    case Ctl::cmdStop: cmdStop->setEnabled(on); break;
    case Ctl::mnuPlay: mnuPlay->setEnabled(on); break;
    case Ctl::mnuPause: mnuPause->setEnabled(on); break;
    case Ctl::mnuSkip: mnuSkip->setEnabled(on); break;
    case Ctl::mnuStop: mnuStop->setEnabled(on); break;
    case Ctl::cmdPath: cmdPath->setEnabled(on); break;
    case Ctl::ckRepeat:
        ckRepeat->setEnabled(on);
        ckRepeat->setChecked(m.ckRepeat() == 1);
        break;
    case Ctl::ckSub:
        ckSub->setEnabled(on);
        ckSub->setChecked(m.ckSub() == 1);
        break;
    case Ctl::optDate:
        optDate->setEnabled(on);
        optDate->setChecked(m.optDate());
        break;
    case Ctl::optName:
        optName->setEnabled(on);
        optName->setChecked(m.optName());
        break;
    case Ctl::Text1: {
        Text1->setEnabled(on);
        // Only text that differs is put back, so typing keeps its cursor.
        const QString text = fromNativePath(m.Text1());
        if (Text1->text() != text)
            Text1->setText(text);
        break;
    }
    case Ctl::Timer1:
        if (on && !unloaded_) {
            if (!Timer1.isActive())
                Timer1.start();
        } else {
            Timer1.stop();
        }
        break;
    case Ctl::Count: break;
    }
}

void frmOrvane::mirrorAll()
{
    for (std::size_t i = 0; i < static_cast<std::size_t>(Ctl::Count); ++i)
        mirror(static_cast<Ctl>(i));
}

void frmOrvane::Form_Load()
{
    loadSettings(controls());
}

void frmOrvane::cmdPath_Click()
{
    const std::string chosen = modBrowse::GetBrowseDirectory(this);
    if (!chosen.empty())
        controls().setText1(chosen);
}

void frmOrvane::mnuSettings_Click()
{
    if (auto* tray = SysTrayHandlers::of(this))
        tray->mnuSettings_Click();
}

void frmOrvane::mnuAbout_Click()
{
    if (auto* tray = SysTrayHandlers::of(this))
        tray->mnuAbout_Click();
}

void frmOrvane::mnuExit_Click()
{
    if (auto* tray = SysTrayHandlers::of(this))
        tray->mnuExit_Click(); // the tray icon goes before the window
    close();
}

void frmOrvane::Form_Resize()
{
    if (auto* tray = SysTrayHandlers::of(this))
        tray->Form_Resize();
}

void frmOrvane::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void frmOrvane::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

void frmOrvane::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    MMControl1_->setCommand("Close");
    storeAllSettings(controls());
    Timer1.stop();
    emit unloaded();
}

} // namespace orvane
