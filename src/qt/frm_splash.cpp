#include "qt/frm_splash.h"

#include "app/main_form.h"
#include "qt/accessibility.h"
#include "qt/app_icon.h"
#include "qt/twips.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

namespace orvane {

frmSplash::frmSplash(SettingsProvider& settings, std::function<void()> showMainWindow, QWidget* parent)
    : QFrame(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
    , SplashForm(settings)
    , showMainWindow_(std::move(showMainWindow))
{
    installAccessibleInterfaces();
    // It takes the focus at start, so a screen reader names it first.
    setAccessibleName(QString::fromLatin1(MainForm::Caption));
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(2);
    setWindowIcon(appIcon());
    setFocusPolicy(Qt::StrongFocus);
    buildControls();
    placeControls();
    Form_Load();
}

void frmSplash::buildControls()
{
    Frame1 = new ProductFrame(this);
    imgLogo = Frame1->imgLogo;
    lblCompanyProduct = Frame1->lblCompanyProduct;
    lblProductName = Frame1->lblProductName;
    lblVersion = Frame1->lblVersion;
    lblWarning = makeLabel(Frame1, QString::fromUtf8(layout::SplashFrame.warningText), arialFont(8.25, false));

    connect(Frame1, &ProductFrame::backgroundClicked, this, [this] { Frame1_Click(); });
    connect(&Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
}

void frmSplash::placeControls()
{
    const Twips tw = Twips::of(*this);
    const layout::ProductFrame& f = layout::SplashFrame;
    const int border = frameWidth();
    setFixedSize(tw.size(f.client) + QSize(2 * border, 2 * border));

    Frame1->setGeometry(tw.rect(f.frame).translated(border, border));
    Frame1->place(tw, f);
    lblWarning->setGeometry(tw.rect(f.warning));

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void frmSplash::showVersion(const std::string& caption)
{
    const Twips tw = Twips::of(*this);
    const layout::TwipsPoint at = layout::SplashFrame.versionTopRight;
    Frame1->showVersion(caption, tw.x(at.x), tw.y(at.y));
}

void frmSplash::startTimer1(int intervalMs)
{
    Timer1.start(intervalMs);
}

void frmSplash::stopTimer1()
{
    Timer1.stop();
}

void frmSplash::closeWindow()
{
    close();
}

void frmSplash::showMainWindow()
{
    if (showMainWindow_)
        showMainWindow_();
}

void frmSplash::keyPressEvent(QKeyEvent* event)
{
    // Any key that types a character, Enter and Esc included; which one is
    // not looked at.
    if (!event->text().isEmpty()) {
        Form_KeyPress();
        return;
    }
    QFrame::keyPressEvent(event);
}

void frmSplash::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

void frmSplash::showEvent(QShowEvent* event)
{
    QFrame::showEvent(event);
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
}

} // namespace orvane
