#include "qt/app_icon.h"

// The images are compiled into the static GUI library; nothing else refers to
// them, so the linker keeps them only when asked to by name.
static void initOrvaneResources()
{
    Q_INIT_RESOURCE(orvane);
}

namespace orvane {

namespace {
void ensureResources()
{
    static const bool done = (initOrvaneResources(), true);
    (void)done;
}
} // namespace

QIcon appIcon()
{
    ensureResources();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/logo/orvane-%1.png").arg(size), QSize(size, size));
    return icon;
}

QPixmap logoPixmap(const QSize& box)
{
    ensureResources();
    const QPixmap large(QStringLiteral(":/logo/orvane-256.png"));
    return large.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace orvane
