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
    return nativeFolder(QFileDialog::getExistingDirectory(
        owner, QString::fromLatin1(BrowseTitle), QString(), QFileDialog::ShowDirsOnly));
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
