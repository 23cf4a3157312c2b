#include "desktop/mod_browse.h"

#include "platform/qt_ui_host.h"

#include <QDir>
#include <QFileDialog>

namespace orvane::modBrowse {

std::string GetBrowseDirectory(QWidget* owner)
{
    // The shell's dialog starts at the top of the user's namespace, which
    // here is the home folder, never the process's working folder.
    const QString chosen = QFileDialog::getExistingDirectory(
        owner, QString::fromLatin1(BrowseTitle), QDir::homePath(), QFileDialog::ShowDirsOnly);
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
