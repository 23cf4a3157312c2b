#include "qt/place_file.h"

#include "qt/atomic_file.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

#include <stdexcept>

namespace orvane {

PlaceFile::PlaceFile(QString filePath)
    : filePath_(std::move(filePath))
{
    // The lock lives beside the place, so its folder is made first.
    if (!QDir().mkpath(QFileInfo(filePath_).absolutePath()))
        return;
    const QString lockPath = filePath_ + QStringLiteral(".lock");
    auto lock = std::make_unique<QLockFile>(lockPath);
    // Held for the whole run: only a dead owner's lock is stale, which the
    // take-over tells by the owner's advisory lock, not by the file's age.
    lock->setStaleLockTime(0);
    if (takeFileLock(*lock, lockPath, LockWaitMs))
        owner_ = std::move(lock);
}

PlaceFile::~PlaceFile() = default;

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
    if (!owns())
        throw std::runtime_error(filePath_.toStdString() + " is another copy's");
    if (!writeHeldFileAtomically(filePath_, QByteArray::fromStdString(text)))
        throw std::runtime_error("cannot write " + filePath_.toStdString());
}

void PlaceFile::forget()
{
    if (!owns())
        throw std::runtime_error(filePath_.toStdString() + " is another copy's");
    removeHeldFile(filePath_);
}

std::unique_ptr<PlaceStore> makePlaceFile(const QString& filePath)
{
    auto file = std::make_unique<PlaceFile>(filePath);
    if (!file->owns())
        return nullptr;
    return file;
}

} // namespace orvane
