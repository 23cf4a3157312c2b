#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>

namespace orvane::test {

// An icon file of one colour, so a test can tell which file a picture came from.
inline bool writeIconFile(const QString& path, const QColor& colour)
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(colour);
    return image.save(path, "ICO");
}

// The colour in the middle of the icon's 16-pixel image.
inline QColor centreColour(const QIcon& icon)
{
    const QImage image = icon.pixmap(16, 16).toImage();
    return image.isNull() ? QColor() : image.pixelColor(8, 8);
}

} // namespace orvane::test
