#include "qt/product_frame.h"

#include "qt/app_icon.h"
#include "qt/twips.h"

#include <QMouseEvent>

namespace orvane {

ProductFrame::ProductFrame(QWidget* parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::Box | QFrame::Sunken);
    imgLogo = new QLabel(this);
    imgLogo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    imgLogo->setAccessibleName(QStringLiteral("Orvane"));
    lblCompanyProduct = makeLabel(this, QStringLiteral("MP3"), arialFont(18, true));
    lblProductName = makeLabel(this, QStringLiteral("Orvane"), arialFont(24, true));
    lblVersion = makeLabel(this, QStringLiteral("Version"), arialFont(12, true));
    lblVersion->setAlignment(Qt::AlignRight | Qt::AlignTop);
}

void ProductFrame::place(const Twips& tw, const layout::ProductFrame& layout)
{
    imgLogo->setGeometry(tw.rect(layout.logo));
    imgLogo->setPixmap(logoPixmap(imgLogo->size()));
    lblCompanyProduct->move(tw.point(layout.companyProduct));
    lblProductName->move(tw.point(layout.productName));
    for (QLabel* label : {lblCompanyProduct, lblProductName})
        label->adjustSize();
}

void ProductFrame::showVersion(const std::string& caption, int right, int top)
{
    lblVersion->setText(QString::fromStdString(caption));
    lblVersion->adjustSize();
    lblVersion->move(right - lblVersion->width(), top);
}

// Moves over a label without tracking of its own reach the frame too; only
// those over the frame's own surface count.
void ProductFrame::mouseMoveEvent(QMouseEvent* event)
{
    if (onBackground(event->position().toPoint()))
        emit backgroundMouseMove();
    QFrame::mouseMoveEvent(event);
}

void ProductFrame::mousePressEvent(QMouseEvent* event)
{
    pressedOnBackground_ = event->button() == Qt::LeftButton && onBackground(event->position().toPoint());
    event->accept();
}

void ProductFrame::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressedOnBackground_ && event->button() == Qt::LeftButton
        && onBackground(event->position().toPoint());
    pressedOnBackground_ = false;
    event->accept();
    if (click)
        emit backgroundClicked();
}

// Labels and the picture pass their clicks on to the frame; only the frame's
// own surface counts.
bool ProductFrame::onBackground(const QPoint& pos) const
{
    return rect().contains(pos) && childAt(pos) == nullptr;
}

QFont arialFont(double points, bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QLabel* makeLabel(QWidget* parent, const QString& text, const QFont& font)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    return label;
}

} // namespace orvane
