#pragma once

#include "app/form_layouts.h"

#include <QRect>
#include <QSize>
#include <QWidget>
#include <QtMath>

namespace orvane {

// Window layouts are drawn in twips (1440 to the logical inch); they become
// pixels at the screen's logical DPI, so the windows scale with the desktop's
// font setting as their texts do.
class Twips {
public:
    Twips(double dpiX, double dpiY) : dpiX_(dpiX), dpiY_(dpiY) {}
    static Twips of(const QWidget& widget)
    {
        return Twips(widget.logicalDpiX(), widget.logicalDpiY());
    }

    int x(int twips) const { return qRound(twips * dpiX_ / 1440.0); }
    int y(int twips) const { return qRound(twips * dpiY_ / 1440.0); }
    QSize size(int width, int height) const { return QSize(x(width), y(height)); }
    QRect rect(int left, int top, int width, int height) const
    {
        return QRect(x(left), y(top), x(width), y(height));
    }
    QSize size(const layout::TwipsSize& s) const { return size(s.width, s.height); }
    QRect rect(const layout::TwipsRect& r) const { return rect(r.left, r.top, r.width, r.height); }
    QPoint point(const layout::TwipsPoint& p) const { return QPoint(x(p.x), y(p.y)); }

private:
    double dpiX_;
    double dpiY_;
};

} // namespace orvane
