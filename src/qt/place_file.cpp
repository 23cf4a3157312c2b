#include "qt/place_file.h"

#include "qt/atomic_file.h"

#include <QDir>
#include <QFile>
#include <QLockFile>

#include <cerrno>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // Never blocks on a pipe nor follows a link put there.
    const int fd = open(QFile::encodeName(filePath_).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::string text;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= MaxSize) {
        char buffer[4096];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
            if (n > 0)
                text.append(buffer, static_cast<std::size_t>(n));
        }
    }
    close(fd);
    return text;
}

void PlaceFile::save(const std::string& text)
{
    if (!writeFileAtomically(filePath_, QByteArray::fromStdString(text), LockWaitMs))
        throw std::runtime_error("cannot write " + filePath_.toStdString());
}

void PlaceFile::forget()
{
    const QString lockPath = filePath_ + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    if (!takeFileLock(lock, lockPath, LockWaitMs))
        throw std::runtime_error("cannot forget " + filePath_.toStdString() + " now");
    const QByteArray name = QFile::encodeName(filePath_);
    struct stat st;
    if (lstat(name.constData(), &st) == 0 && S_ISREG(st.st_mode))
        unlink(name.constData());
    removeScratchLeftovers(filePath_);
}

std::unique_ptr<PlaceStore> makePlaceFile()
{
    return std::make_unique<PlaceFile>();
}

} // namespace orvane
