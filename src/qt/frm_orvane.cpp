#include "qt/frm_orvane.h"

#include "qt/app_icon.h"
#include "qt/media_factory.h"
#include "qt/mod_browse.h"
#include "qt/qt_settings_registry.h"
#include "qt/qt_ui_host.h"
#include "qt/sys_tray_handlers.h"
#include "qt/twips.h"

#include <QApplication>
#include <QCloseEvent>

#include <map>
#include <string_view>

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

OptionButton::OptionButton(const QString& text, QWidget* parent)
    : QRadioButton(text, parent)
{
    setAutoExclusive(false);
}

frmOrvane::frmOrvane(SettingsProvider& settings, QWidget* parent)
    : frmOrvane(makeMediaControl(), makeNativeFileSystem(), settings, parent)
{
}

frmOrvane::frmOrvane(std::unique_ptr<MMControl> mmControl, std::unique_ptr<FileSystem> fileSystem,
                     SettingsProvider& settings, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                  | Qt::WindowSystemMenuHint
                  | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint
                  | Qt::MSWindowsFixedSizeDialogHint)
    , MainForm(std::move(mmControl), std::move(fileSystem), std::make_unique<QtUiHost>(this), settings)
{
    setWindowTitle(QString::fromLatin1(Caption));
    setWindowIcon(appIcon());
    setFont(windowFont());
    buildControls();
    buildPopupMenu();
    placeControls();
    connectControls();

    attachTray(SysTrayHandlers::install(this, RCPopup, [this] { return player().Paused; }));

    Timer1.setInterval(Timer1IntervalMs);
    controls().setListener([this](Ctl c) {
        mirror(c);
        emit controlsChanged();
    });
    mirrorAll();
    Form_Load();
}

frmOrvane::~frmOrvane()
{
    controls().setListener(nullptr);
}

void frmOrvane::buildControls()
{
    // Created in tab order, so focus moves as the layout reads.
    Label2 = makeHeading(QStringLiteral("Play Path"), this);
    Text1 = new QLineEdit(this);
    // What the box holds, the store keeps whole.
    Text1->setMaxLength(int(QSettingsRegistry::MaxValueLength));
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
    setFixedSize(tw.size(layout::MainClient));
    const std::map<std::string_view, QWidget*> widgets{
        {"Label2", Label2},     {"Text1", Text1},     {"cmdPath", cmdPath},   {"Label1", Label1},
        {"optDate", optDate},   {"optName", optName}, {"ckRepeat", ckRepeat}, {"ckSub", ckSub},
        {"cmdStop", cmdStop},   {"cmdSkip", cmdSkip}, {"cmdPause", cmdPause}, {"cmdPlay", cmdPlay},
        {"Line1", Line1},       {"Line2", Line2},     {"Line3", Line3}};
    for (const layout::Control& c : layout::MainControls)
        widgets.at(c.name)->setGeometry(tw.rect(c.rect));
    for (const layout::TwipsLine& line : layout::MainLines)
        widgets.at(line.name)->setGeometry(lineRect(tw, line));
}

void frmOrvane::connectControls()
{
    Player& p = player();
    connect(&Timer1, &QTimer::timeout, this, [&p] { p.Timer1_Timer(); });

    connect(Text1, &QLineEdit::textEdited, this,
            [this](const QString& text) { Text1_Change(toNativePath(text)); });
    connect(cmdPath, &QPushButton::clicked, this, [this] { cmdPath_Click(); });
    connect(optDate, &QRadioButton::clicked, this, [this] { optDate_Click(); });
    connect(optName, &QRadioButton::clicked, this, [this] { optName_Click(); });
    // clicked comes from the user only, never from the mirror's setChecked.
    connect(ckSub, &QCheckBox::clicked, this, [this](bool checked) { ckSub_Click(checked); });
    connect(ckRepeat, &QCheckBox::clicked, this, [this](bool checked) { ckRepeat_Click(checked); });

    connect(cmdStop, &QPushButton::clicked, this, [&p] { p.cmdStop_Click(); });
    connect(cmdSkip, &QPushButton::clicked, this, [&p] { p.cmdSkip_Click(); });
    connect(cmdPause, &QPushButton::clicked, this, [&p] { p.cmdPause_Click(); });
    connect(cmdPlay, &QPushButton::clicked, this, [&p] { p.cmdPlay_Click(); });

    connect(mnuPlay, &QAction::triggered, this, [&p] { p.mnuPlay_Click(); });
    connect(mnuPause, &QAction::triggered, this, [&p] { p.mnuPause_Click(); });
    connect(mnuSkip, &QAction::triggered, this, [&p] { p.mnuSkip_Click(); });
    connect(mnuStop, &QAction::triggered, this, [&p] { p.mnuStop_Click(); });
    connect(mnuSettings, &QAction::triggered, this, [this] { mnuSettings_Click(); });
    connect(mnuAbout, &QAction::triggered, this, [this] { mnuAbout_Click(); });
    connect(mnuExit, &QAction::triggered, this, [this] { mnuExit_Click(); });
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
        if (timer1Runs()) {
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

void frmOrvane::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}


} // namespace orvane
