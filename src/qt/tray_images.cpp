#include "qt/tray_images.h"

#include "qt/data_folder.h"

#include <QImageReader>
#include <QPixmap>

// The built-in copies are compiled into the static GUI library; nothing
// refers to them by symbol, so they are registered by name.
static void initTrayResources()
{
    Q_INIT_RESOURCE(orvane);
}

namespace orvane {

TrayPictures::TrayPictures(QString folder)
    : folder_(folder.isEmpty() ? programDataFolder() : std::move(folder))
{
}

IconHandle TrayPictures::load(const std::string& name)
{
    const QString fileName = QString::fromStdString(name);
    QIcon picture = readIconFile(folder_ + QLatin1Char('/') + fileName);
    if (picture.isNull())
        picture = builtIn(name);
    const IconHandle handle = nextHandle_++;
    if (nextHandle_ == 0) // zero means "no icon" in the tray record
        nextHandle_ = 1;
    pictures_[handle] = picture;
    return handle;
}

QIcon TrayPictures::icon(IconHandle handle) const
{
    const auto it = pictures_.find(handle);
    return it == pictures_.end() ? QIcon() : it->second;
}

void TrayPictures::release(IconHandle handle)
{
    pictures_.erase(handle);
}

QIcon TrayPictures::readIconFile(const QString& path)
{
    QImageReader reader(path);
    QIcon icon;
    for (int i = 0, n = qMax(1, reader.imageCount()); i < n; ++i) {
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
        if (!reader.jumpToNextImage())
            break;
    }
    return icon;
}

QIcon TrayPictures::builtIn(const std::string& name)
{
    static const bool registered = (initTrayResources(), true);
    (void)registered;
    return readIconFile(QStringLiteral(":/icons/") + QString::fromStdString(name));
}

} // namespace orvane
