#include "qt/frm_about.h"

#include "qt/accessibility.h"
#include "qt/app_icon.h"
#include "qt/twips.h"

#include <QApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QUrl>

namespace orvane {

namespace {

QPointer<frmAbout>& openAbout()
{
    static QPointer<frmAbout> window;
    return window;
}

// Pure blue, red 0, green 0, blue 255.
void makeBlue(QLabel* label)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    label->setPalette(palette);
}

} // namespace

LinkLabel::LinkLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
    setMouseTracking(true);
}

void LinkLabel::mouseMoveEvent(QMouseEvent* event)
{
    emit mouseMoved();
    event->accept();
}

void LinkLabel::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton
        && rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click)
        emit clicked();
}

void LinkLabel::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (!event->isAutoRepeat())
            activate();
        event->accept();
        return;
    default: QLabel::keyPressEvent(event);
    }
}

// The style's focus frame, which it draws only once the keyboard has moved
// the focus: at rest and under the mouse the link looks as it always did.
void LinkLabel::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.backgroundColor = palette().color(QPalette::Window);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

frmAbout::frmAbout(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    installAccessibleInterfaces();
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf8(layout::AboutCaption));
    setWindowIcon(appIcon());
    buildControls();
    placeControls();
    Form_Load();
}

frmAbout::~frmAbout() = default;

frmAbout* frmAbout::showModeless()
{
    QPointer<frmAbout>& window = openAbout();
    if (!window)
        window = new frmAbout;
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

frmAbout* frmAbout::instance()
{
    return openAbout();
}

void frmAbout::buildControls()
{
    Frame1 = new ProductFrame(this);
    Frame1->setMouseTracking(true);
    imgLogo = Frame1->imgLogo;
    lblCompanyProduct = Frame1->lblCompanyProduct;
    lblProductName = Frame1->lblProductName;
    lblVersion = Frame1->lblVersion;

    lblURL = new LinkLabel(QString::fromUtf8(layout::AboutLinkText), Frame1);
    QFont linkFont = QApplication::font();
    linkFont.setPointSizeF(9.75);
    linkFont.setBold(true);
    linkFont.setUnderline(false);
    lblURL->setFont(linkFont);
    lblURL->setAlignment(Qt::AlignCenter);

    lblWarning = makeLabel(Frame1, QString::fromUtf8(layout::AboutFrame.warningText), arialFont(8.25, false));

    cmdExit = new QPushButton(QString::fromUtf8(layout::AboutExitCaption), Frame1);
    cmdExit->setAutoDefault(false);
    // The link comes first in the tab order, as it reads, but the window
    // opens with the focus on Exit, as it always has.
    setTabOrder(lblURL, cmdExit);
    cmdExit->setFocus();

    for (QLabel* label : {lblCompanyProduct, lblProductName, lblVersion, static_cast<QLabel*>(lblURL)})
        makeBlue(label);

    connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });
    connect(Frame1, &ProductFrame::backgroundClicked, this, [this] { Frame1_Click(); });
    connect(Frame1, &ProductFrame::backgroundMouseMove, this, [this] { Frame1_MouseMove(); });
    connect(lblURL, &LinkLabel::clicked, this, [this] { lblURL_Click(); });
    connect(lblURL, &LinkLabel::mouseMoved, this, [this] { lblURL_MouseMove(); });
}

void frmAbout::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdExit_Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmAbout::placeControls()
{
    const Twips tw = Twips::of(*this);
    const layout::ProductFrame& f = layout::AboutFrame;
    setFixedSize(tw.size(f.client));
    const QRect frame = tw.rect(f.frame);
    Frame1->setGeometry(frame);
    Frame1->place(tw, f);
    lblWarning->move(tw.x(f.warning.left), tw.y(f.warning.top));
    for (QLabel* label : {lblWarning, static_cast<QLabel*>(lblURL)})
        label->adjustSize();
    // The link is only as wide as its text, so the pointer counts as on it
    // exactly where the word is.
    lblURL->move((frame.width() - lblURL->width()) / 2, tw.y(layout::AboutLinkTop));
    cmdExit->setGeometry(tw.rect(layout::AboutExit));
    // Reached by Tab only: a click opens the page and leaves the focus where
    // it was. Set once the link is sized: set before, it draws the word a
    // pixel higher than the window always showed it.
    lblURL->setFocusPolicy(Qt::TabFocus);
}

void frmAbout::showVersion(const std::string& caption)
{
    const Twips tw = Twips::of(*this);
    const layout::TwipsPoint at = layout::AboutFrame.versionTopRight;
    Frame1->showVersion(caption, tw.x(at.x), tw.y(at.y));
}

void frmAbout::closeWindow()
{
    close();
}

void frmAbout::openWebPage(const std::string& address)
{
    QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}

void frmAbout::showLinkUnderline(bool on)
{
    QFont font = lblURL->font();
    font.setUnderline(on);
    lblURL->setFont(font);
}

} // namespace orvane
