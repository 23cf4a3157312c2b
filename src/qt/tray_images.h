#pragma once

#include "desktop/mod_sys_tray.h"

#include <QIcon>
#include <QString>

#include <map>
#include <string>

namespace orvane {

// The pictures the tray shows, loaded from the program's folder by file name.
// Each load gives a new handle, as loading a picture from a file does on the
// desktop; the handle doubles as the identity of the tray icon made from it.
class TrayPictures {
public:
    // folder defaults to the program's data folder (programDataFolder).
    explicit TrayPictures(QString folder = {});

    // The image file in the folder, or the copy built into the program when
    // that file is missing or holds no readable image: the tray must never
    // show an empty square.
    IconHandle load(const std::string& name);
    QIcon icon(IconHandle handle) const;
    void release(IconHandle handle);

    const QString& folder() const { return folder_; }
    std::size_t loadedCount() const { return pictures_.size(); }

    // Every image in an icon file, one per size; a null icon when there is none.
    static QIcon readIconFile(const QString& path);
    static QIcon builtIn(const std::string& name);

private:
    QString folder_;
    IconHandle nextHandle_ = 1;
    std::map<IconHandle, QIcon> pictures_;
};

} // namespace orvane
