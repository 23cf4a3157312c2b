#include "qt/data_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#ifndef ORVANE_DATA_FROM_BIN
#define ORVANE_DATA_FROM_BIN "../share/orvane"
#endif

namespace orvane {

QString programDataFolder(const QString& programFolder)
{
    const QString installed = QDir::cleanPath(programFolder + QStringLiteral("/" ORVANE_DATA_FROM_BIN));
    return QFileInfo(installed).isDir() ? installed : programFolder;
}

QString programDataFolder()
{
    return programDataFolder(QCoreApplication::applicationDirPath());
}

} // namespace orvane
