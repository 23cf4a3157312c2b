#include "qt/atomic_file.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringDecoder>
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

// The paths in path's folder whose names match pattern, whatever they are.
QStringList namesBeside(const QString& path, const QRegularExpression& pattern)
{
    const QDir folder = QFileInfo(path).dir();
    QStringList found;
    for (const QString& name : folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (pattern.match(name).hasMatch())
            found.append(folder.filePath(name));
    }
    return found;
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
    const QRegularExpression chain(QStringLiteral("^") + QRegularExpression::escape(QFileInfo(lockPath).fileName())
                                   + QStringLiteral("(\\.rmlock)+$"));
    for (const QString& link : namesBeside(lockPath, chain))
        removeAbandonedLock(link, false);
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

// A file system that cannot sync this kind of file keeps nothing back that
// a sync would have saved; any other failure may have lost the text.
bool syncedOrUnsyncable(int fd)
{
    return fsync(fd) == 0 || errno == EINVAL || errno == EROFS || errno == ENOTSUP;
}

// The text of the file at path on the disk, not only in the cache: a rename
// may reach the disk before the text it names, and after a power cut the
// path would then hold an empty file.
bool syncFile(const QString& path)
{
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = syncedOrUnsyncable(fd);
    close(fd);
    return synced;
}

// The names in path's folder on the disk: until then a power cut may undo
// a rename or a removal already made.
void syncFolderOf(const QString& path)
{
    const int fd = open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                        O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    (void)syncedOrUnsyncable(fd);
    close(fd);
}

// Every file this piece moves goes through here, the one rename there is.
bool moveFile(const QString& from, const QString& to)
{
    return rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// The first name beside path that nothing holds yet: an earlier file set
// aside is kept as well.
QString freeAsideName(const QString& path)
{
    for (int n = 1; n <= 100; ++n) {
        const QString aside = path + QStringLiteral(".bad") + (n == 1 ? QString() : QString::number(n));
        struct stat st;
        if (lstat(QFile::encodeName(aside).constData(), &st) != 0 && errno == ENOENT)
            return aside;
    }
    return {};
}

// The file a damaged one is kept under once a new one replaces it: a second
// name for it where the file system allows, so that the path never stands
// empty; else it is moved there (movedTo tells where).
bool keepAside(const QString& path, QString& movedTo)
{
    const QString aside = freeAsideName(path);
    if (aside.isEmpty())
        return false;
    if (link(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) == 0)
        return true;
    if (!moveFile(path, aside))
        return false;
    movedTo = aside;
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
    // Whoever wrote the text (we, or QSettings into this file), it is on the
    // disk before its name replaces the old one.
    if (!syncFile(path_) || !moveFile(path_, target))
        return false;
    path_.clear();
    syncFolderOf(target);
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
    for (const QString& name : namesBeside(path, leftoverPattern(QFileInfo(path).fileName()))) {
        const QByteArray leftover = QFile::encodeName(name);
        struct stat st;
        if (lstat(leftover.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid())
            unlink(leftover.constData());
    }
}

bool isText(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    // The decoder decodes only when its result is taken as a string.
    const QString decoded = utf8.decode(bytes);
    return !utf8.hasError() && !bytes.contains('\0');
}

FileAtPath lookAtFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (lstat(name.constData(), &st) != 0)
        return {errno == ENOENT || errno == ENOTDIR ? FileAtPath::Nothing : FileAtPath::Other, path};
    QString real = path;
    if (S_ISLNK(st.st_mode)) {
        // stat opens nothing, so a link to a pipe or a device is safe to look at.
        if (stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode))
            return {FileAtPath::Other, path};
        real = QFileInfo(path).canonicalFilePath();
    }
    if (!S_ISREG(st.st_mode))
        return {FileAtPath::Other, path};
    // Whatever may have been put there since the look above, this open can
    // neither block nor follow a new link.
    const int fd = open(QFile::encodeName(real).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return {FileAtPath::Nothing, real};
        return {errno == EACCES || errno == EPERM ? FileAtPath::UnreadableFile : FileAtPath::Other, real, st};
    }
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    close(fd);
    return {regular ? FileAtPath::File : FileAtPath::Other, real, st};
}

std::optional<QByteArray> readWholeFile(const QString& path, qint64 maxSize)
{
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> text;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= maxSize) {
        text.emplace();
        char buffer[4096];
        ssize_t n = 0;
        // A file that grew past maxSize since the look above is read no further.
        while (text->size() <= maxSize && ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))) {
            if (n > 0)
                text->append(buffer, n);
        }
        if (n < 0 || text->size() > maxSize)
            text.reset();
    }
    close(fd);
    return text;
}

QByteArray salvageLines(const QString& path, qint64 maxLineSize, const std::function<bool(const QByteArray&)>& keep)
{
    const qint64 chunk = maxLineSize + 2; // a whole line and its end
    QByteArray kept;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return kept;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(chunk);
        if (!line.endsWith('\n') && !file.atEnd()) {
            while (!file.atEnd() && !file.readLine(chunk).endsWith('\n')) {
            }
            continue;
        }
        const QByteArray trimmed = line.trimmed();
        if (keep(trimmed) && isText(trimmed))
            kept += trimmed + '\n';
    }
    return kept;
}

bool replaceFile(const QString& path, int lockWaitMs, const std::function<std::optional<Replacing>(ScratchFile&)>& make)
{
    // As QSettings does, the folder is made when it is missing.
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    const QString lockPath = path + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    if (!takeFileLock(lock, lockPath, lockWaitMs))
        return false;
    return replaceHeldFile(path, make);
}

bool replaceHeldFile(const QString& path, const std::function<std::optional<Replacing>(ScratchFile&)>& make)
{
    // The folder may have been removed since the lock was taken.
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    ScratchFile scratch(path);
    const std::optional<Replacing> how = make(scratch);
    if (!how)
        return false;
    QString movedTo;
    if (how->setAside && !keepAside(path, movedTo))
        return false;
    if (!scratch.replace(path, how->old ? &*how->old : nullptr, how->keepMode)) {
        if (!movedTo.isEmpty())
            moveFile(movedTo, path);
        return false;
    }
    removeScratchLeftovers(path);
    return true;
}

namespace {

// Only a regular file is ever replaced; a link, a folder or a device there
// is the user's.
std::function<std::optional<Replacing>(ScratchFile&)> replacingWith(const QString& path, const QByteArray& text)
{
    return [&path, &text](ScratchFile& scratch) -> std::optional<Replacing> {
        struct stat old;
        const bool found = lstat(QFile::encodeName(path).constData(), &old) == 0;
        if ((found && !S_ISREG(old.st_mode)) || (!found && errno != ENOENT) || !scratch.create(text))
            return std::nullopt;
        return Replacing{found ? std::optional(old) : std::nullopt, found, false};
    };
}

} // namespace

bool writeFileAtomically(const QString& path, const QByteArray& text, int lockWaitMs)
{
    return replaceFile(path, lockWaitMs, replacingWith(path, text));
}

bool writeHeldFileAtomically(const QString& path, const QByteArray& text)
{
    return replaceHeldFile(path, replacingWith(path, text));
}

bool removeFileAtomically(const QString& path, int lockWaitMs)
{
    const QString lockPath = path + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    if (!takeFileLock(lock, lockPath, lockWaitMs))
        return false;
    removeHeldFile(path);
    return true;
}

void removeHeldFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (lstat(name.constData(), &st) == 0 && S_ISREG(st.st_mode) && unlink(name.constData()) == 0)
        syncFolderOf(path); // a power cut brings back no file that was removed
    removeScratchLeftovers(path);
}

} // namespace orvane
