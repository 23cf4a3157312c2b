#include "qt/mod_browse.h"

#include "qt/qt_ui_host.h"

#include <QDir>
#include <QFileDialog>

namespace orvane::modBrowse {

std::string GetBrowseDirectory(QWidget* owner)
{
    const QString chosen = QFileDialog::getExistingDirectory(
        owner, QString::fromLatin1(BrowseTitle), QString(), QFileDialog::ShowDirsOnly);
    return browseResult(chosen);
}

std::string browseResult(const QString& chosenFolder)
{
    if (chosenFolder.isEmpty())
        return {};
    QString path = QDir::toNativeSeparators(chosenFolder);
    if (!path.endsWith(QDir::separator()))
        path += QDir::separator();
    return toNativePath(path);
}

} // namespace orvane::modBrowse
