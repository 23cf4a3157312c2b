#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace orvane {

// The program's own icon, in every size it ships.
QIcon appIcon();

// The logo drawn for the given box, keeping its shape.
QPixmap logoPixmap(const QSize& box);

} // namespace orvane
