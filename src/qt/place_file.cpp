#include "qt/place_file.h"

#include "qt/atomic_file.h"

#include <QDir>

#include <stdexcept>

namespace orvane {

QString PlaceFile::defaultFilePath()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/Orvane/place");
}

std::string PlaceFile::load()
{
    return readWholeFile(filePath_, MaxSize).value_or(QByteArray()).toStdString();
}

void PlaceFile::save(const std::string& text)
{
    if (!writeFileAtomically(filePath_, QByteArray::fromStdString(text), LockWaitMs))
        throw std::runtime_error("cannot write " + filePath_.toStdString());
}

void PlaceFile::forget()
{
    if (!removeFileAtomically(filePath_, LockWaitMs))
        throw std::runtime_error("cannot forget " + filePath_.toStdString() + " now");
}

std::unique_ptr<PlaceStore> makePlaceFile()
{
    return std::make_unique<PlaceFile>();
}

} // namespace orvane
