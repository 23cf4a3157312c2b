#pragma once

#include <QFont>
#include <QFrame>
#include <QLabel>

namespace orvane {

// Frame1 of the startup and About windows: it reports clicks, and moves of
// the mouse, on its own background only, not on the labels and the picture
// inside it.
class ProductFrame : public QFrame {
    Q_OBJECT
public:
    using QFrame::QFrame;

signals:
    void backgroundClicked();
    void backgroundMouseMove(); // only while mouse tracking is on

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool onBackground(const QPoint& pos) const;
    bool pressedOnBackground_ = false;
};

QFont arialFont(double points, bool bold);
QLabel* makeLabel(QWidget* parent, const QString& text, const QFont& font);

} // namespace orvane
