#pragma once

#include "app/form_layouts.h"

#include <QFont>
#include <QFrame>
#include <QLabel>

#include <string>

namespace orvane {

class Twips;

// Frame1 of the startup and About windows, with the product's logo, name and
// version labels in it. It reports clicks, and moves of the mouse, on its own
// background only, not on the labels and the picture inside it.
class ProductFrame : public QFrame {
    Q_OBJECT
public:
    explicit ProductFrame(QWidget* parent);

    QLabel* imgLogo;
    QLabel* lblCompanyProduct;
    QLabel* lblProductName;
    QLabel* lblVersion; // "Version" until the window's load sets it

    // The logo and the product's name where the layout puts them.
    void place(const Twips& tw, const layout::ProductFrame& layout);
    // The version text, right-aligned: the label grows to the left of its
    // right edge.
    void showVersion(const std::string& caption, int right, int top);

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
