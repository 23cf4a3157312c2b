#include "qt/mod_browse.h"

#include "qt/qt_ui_host.h"

#include <QDir>
#include <QFileDialog>

namespace orvane::modBrowse {

namespace {

std::string nativeFolder(const QString& chosenFolder)
{
    return toNativePath(QDir::toNativeSeparators(chosenFolder));
}

} // namespace

std::string chooseFolder(QWidget* owner)
{
    // The dialog starts at the top of the user's namespace, which here is the
    // home folder, never the process's working folder.
    return nativeFolder(QFileDialog::getExistingDirectory(
        owner, QString::fromLatin1(BrowseTitle), QDir::homePath(), QFileDialog::ShowDirsOnly));
}

std::string GetBrowseDirectory(QWidget* owner)
{
    return browseResult(chooseFolder(owner), QDir::separator().toLatin1());
}

std::string browseResult(const QString& chosenFolder)
{
    return browseResult(nativeFolder(chosenFolder), QDir::separator().toLatin1());
}

} // namespace orvane::modBrowse
