#include "qt/atomic_file.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringList>
#include <QThread>

#include <cerrno>
#include <chrono>
#include <ctime>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

namespace orvane {

namespace {

// True when the lock file names a process that is alive: QLockFile writes its
// owner's process number on the first line. An owner whose advisory lock
// failed (another copy held the file for a look at that instant) holds the
// lock all the same.
bool ownerAlive(int fd)
{
    char text[32] = {};
    const ssize_t n = pread(fd, text, sizeof text - 1, 0);
    if (n <= 0)
        return false;
    long long pid = 0;
    for (ssize_t i = 0; i < n && text[i] >= '0' && text[i] <= '9' && pid < 100000000; ++i)
        pid = pid * 10 + (text[i] - '0');
    return pid > 0 && pid < 100000000 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// A lock file that no live process holds. QLockFile keeps an advisory lock
// on the file for as long as it holds it, and writes its owner's details
// right after taking that lock: a file nobody has locked is left by a
// process that died, unless it is empty and so new that its maker may still
// be about to lock it (when lateMakerPossible).
bool removeAbandonedLock(const QString& lockPath, bool lateMakerPossible = true)
{
    using namespace std::chrono;
    constexpr auto justMade = 100ms;
    const QByteArray name = QFile::encodeName(lockPath);
    const int fd = open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT; // gone meanwhile: take it at once
    struct stat held, named;
    bool abandoned = fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (abandoned && ownerAlive(fd))
        abandoned = false; // its owner lost the race for the advisory lock, not its life
    if (abandoned && held.st_size == 0 && lateMakerPossible) {
        const auto age = system_clock::now()
            - system_clock::time_point(duration_cast<system_clock::duration>(
                seconds(held.st_mtim.tv_sec) + nanoseconds(held.st_mtim.tv_nsec)));
        abandoned = age < 0s || age >= justMade;
    }
    // Holding its lock, the file is still the one at the path: no other
    // process can have taken the lock over meanwhile.
    abandoned = abandoned && lstat(name.constData(), &named) == 0 && named.st_dev == held.st_dev
        && named.st_ino == held.st_ino && unlink(name.constData()) == 0;
    close(fd);
    return abandoned;
}

// QLockFile guards its take-over of a dead owner's lock with a second lock
// file beside it ("<lock>.rmlock"), and the take-over of that one with a
// third, and so on: kills during take-overs leave such a chain behind, with
// gaps where a take-over had got as far as removing a link. Whoever holds
// the lock clears every link that no live process holds. A link just made
// and still empty goes too: a live copy only makes one to take over a lock
// it finds abandoned, and it checks again before taking it, so it leaves the
// lock we hold alone.
void removeAbandonedTakeOverLocks(const QString& lockPath)
{
    const QFileInfo info(lockPath);
    const QRegularExpression chain(QStringLiteral("^") + QRegularExpression::escape(info.fileName())
                                   + QStringLiteral("(\\.rmlock)+$"));
    const QDir folder = info.dir();
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names)
        if (chain.match(name).hasMatch())
            removeAbandonedLock(folder.filePath(name), false);
}

// The new file is made under a name of our own, so that a copy left by a
// kill is known for ours.
const QString ScratchInfix = QStringLiteral(".tmp-");

QRegularExpression leftoverPattern(const QString& fileName)
{
    // The scratch file, and what QSettings makes beside it while writing it:
    // its lock, and its own temporary copy (six letters).
    return QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(fileName + ScratchInfix)
                              + QStringLiteral("[A-Za-z0-9]{6}(\\.lock|\\.lock\\.rmlock|\\.[A-Za-z]{6})?$"));
}

bool writeAll(int fd, const QByteArray& text)
{
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.constData() + done, size_t(text.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

bool takeFileLock(QLockFile& lock, const QString& lockPath, int waitMs)
{
    QDeadlineTimer deadline(waitMs);
    for (;;) {
        if (lock.tryLock(0)) {
            removeAbandonedTakeOverLocks(lockPath);
            return true;
        }
        if (lock.error() != QLockFile::LockFailedError)
            return false;
        const bool removed = removeAbandonedLock(lockPath);
        if (deadline.hasExpired())
            return false;
        if (!removed)
            QThread::msleep(5);
    }
}

bool ScratchFile::create(const QByteArray& text)
{
    discard();
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int tries = 0; tries < 100; ++tries) {
        QString candidate = beside_ + ScratchInfix;
        for (int i = 0; i < 6; ++i)
            candidate += QLatin1Char(letters[QRandomGenerator::global()->bounded(62)]);
        // 0666 and the umask, as QSettings makes a new file.
        const int fd = open(QFile::encodeName(candidate).constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return false;
        path_ = candidate;
        const bool written = writeAll(fd, text);
        return close(fd) == 0 && written;
    }
    return false;
}

bool ScratchFile::replace(const QString& target, const struct stat* old, bool keepMode)
{
    const QByteArray name = QFile::encodeName(path_);
    if (keepMode && old && chmod(name.constData(), old->st_mode & 0777) != 0)
        return false;
    if (old) {
        timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        const qint64 oldMs = qint64(old->st_mtim.tv_sec) * 1000 + old->st_mtim.tv_nsec / 1000000;
        timespec stamp = now;
        if (qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000 <= oldMs)
            stamp = {time_t((oldMs + 1) / 1000), long((oldMs + 1) % 1000) * 1000000};
        const timespec times[2] = {{0, UTIME_OMIT}, stamp};
        utimensat(AT_FDCWD, name.constData(), times, AT_SYMLINK_NOFOLLOW);
    }
    if (rename(name.constData(), QFile::encodeName(target).constData()) != 0)
        return false;
    path_.clear();
    return true;
}

void ScratchFile::discard()
{
    if (!path_.isEmpty())
        unlink(QFile::encodeName(path_).constData());
    path_.clear();
}

void removeScratchLeftovers(const QString& path)
{
    const QFileInfo info(path);
    const QRegularExpression pattern = leftoverPattern(info.fileName());
    const QDir folder = info.dir();
    const QStringList names = folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (!pattern.match(name).hasMatch())
            continue;
        const QByteArray leftover = QFile::encodeName(folder.filePath(name));
        struct stat st;
        if (lstat(leftover.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid())
            unlink(leftover.constData());
    }
}

bool writeFileAtomically(const QString& path, const QByteArray& text, int lockWaitMs)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    const QString lockPath = path + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    if (!takeFileLock(lock, lockPath, lockWaitMs))
        return false;
    // Only a regular file is ever replaced; a link, a folder or a device
    // there is the user's.
    struct stat old;
    const bool found = lstat(QFile::encodeName(path).constData(), &old) == 0;
    if (found && !S_ISREG(old.st_mode))
        return false;
    if (!found && errno != ENOENT)
        return false;
    ScratchFile scratch(path);
    if (!scratch.create(text) || !scratch.replace(path, found ? &old : nullptr, found))
        return false;
    removeScratchLeftovers(path);
    return true;
}

} // namespace orvane
