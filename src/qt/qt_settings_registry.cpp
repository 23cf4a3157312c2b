#include "qt/qt_settings_registry.h"

#include "settings/settings_keys.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QStringDecoder>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QVariant>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <stdexcept>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

namespace {

const QString ValuePathPrefix = QString::fromLatin1(RegKeyPath);

// Value names become INI keys as they are; anything QSettings would read as a
// group separator or escape is refused rather than mangled.
bool isPlainName(const QString& name)
{
    if (name.isEmpty())
        return false;
    for (QChar c : name) {
        const bool plain = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')
            || (c >= u'0' && c <= u'9') || c == u'_';
        if (!plain)
            return false;
    }
    return true;
}

bool isUtf8(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)utf8.decode(bytes);
    return !utf8.hasError();
}

// Our own "Name=text" lines of a damaged or oversized file, in its top-level
// section, found in one pass over the file. A line longer than any we write
// is not ours and is skipped whole, never cut down to a shorter value.
QByteArray salvageLines(const QString& path)
{
    static const QList<QByteArray> names = [] {
        QList<QByteArray> all;
        for (const StoredSetting& s : StoredSettings)
            all.append(QByteArray(s.name));
        return all;
    }();
    constexpr qint64 chunk = QSettingsRegistry::MaxLineSize + 2; // a whole line and its end
    QByteArray kept = "[General]\n";
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return kept;
    bool topLevel = true;
    while (!file.atEnd()) {
        QByteArray line = file.readLine(chunk);
        if (!line.endsWith('\n') && !file.atEnd()) {
            while (!file.atEnd() && !file.readLine(chunk).endsWith('\n')) {
            }
            continue;
        }
        line = line.trimmed();
        if (line.startsWith('[')) {
            topLevel = line == "[General]";
            continue;
        }
        if (!topLevel || line.contains('\0') || !isUtf8(line))
            continue;
        for (const QByteArray& name : names) {
            if (line.startsWith(name) && line.mid(name.size()).trimmed().startsWith('='))
                kept += line + '\n';
        }
    }
    return kept;
}

// Every value in INI text, read the way QSettings reads it (it reads only
// files, so through a private copy).
QVariantMap parseIni(const QByteArray& text)
{
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return {};
    const QString copy = scratch.filePath(QStringLiteral("salvaged.conf"));
    QFile out(copy);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size())
        return {};
    out.close();
    QSettings parsed(copy, QSettings::IniFormat);
    QVariantMap values;
    for (const QString& key : parsed.allKeys())
        values.insert(key, parsed.value(key));
    return values;
}

// What sits at the settings path decides what the store may do there. Only
// a regular file, or a link to one, is ever opened, and only without
// blocking; anything else (a folder, a pipe, a socket, a device, a link to
// one of them or to nothing) belongs to the user and is left alone.
enum class Found { Nothing, File, UnreadableFile, Other };

struct Inspection {
    Found found;
    QString path; // the regular file itself, behind any link
    struct stat st {}; // its mode, size and times, when it is a file
};

Inspection inspect(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (lstat(name.constData(), &st) != 0)
        return {errno == ENOENT || errno == ENOTDIR ? Found::Nothing : Found::Other, path};
    QString real = path;
    if (S_ISLNK(st.st_mode)) {
        // stat opens nothing, so a link to a pipe or a device is safe to look at.
        if (stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode))
            return {Found::Other, path};
        real = QFileInfo(path).canonicalFilePath();
    }
    if (!S_ISREG(st.st_mode))
        return {Found::Other, path};
    // Whatever may have been put there since the look above, this open can
    // neither block nor follow a new link.
    const int fd = open(QFile::encodeName(real).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return {Found::Nothing, real};
        return {errno == EACCES || errno == EPERM ? Found::UnreadableFile : Found::Other, real, st};
    }
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    close(fd);
    return {regular ? Found::File : Found::Other, real, st};
}

// The text a store starts from: the file as it is, or, when it cannot be
// read as settings, the lines of ours it still holds (and it is to be set
// aside once the new file is in place).
struct StoreBase {
    QByteArray text;
    bool damaged = false;
};

StoreBase storeBase(const Inspection& found)
{
    if (found.found == Found::UnreadableFile)
        return {{}, true};
    if (found.found != Found::File)
        return {};
    if (found.st.st_size <= QSettingsRegistry::MaxFileSize) {
        QFile file(found.path);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.read(QSettingsRegistry::MaxFileSize + 1);
            // Random bytes mostly parse as INI lines all the same, and would
            // stay in the file as junk keys, so they are caught here.
            if (bytes.size() <= QSettingsRegistry::MaxFileSize && !bytes.contains('\0') && isUtf8(bytes))
                return {bytes, false};
        }
    }
    return {salvageLines(found.path), true};
}

// The values in the file, the way the store would keep them.
QVariantMap storedValues(const Inspection& found)
{
    StoreBase base = storeBase(found);
    if (!base.damaged) {
        QSettings settings(found.path, QSettings::IniFormat);
        if (settings.status() != QSettings::FormatError) {
            QVariantMap values;
            for (const QString& key : settings.allKeys())
                values.insert(key, settings.value(key));
            return values;
        }
        base.text = salvageLines(found.path);
    }
    return parseIni(base.text);
}

// Values stored this run that are not in the file, by path: those of a
// store that failed, until one succeeds, and everything where the store
// leaves the path alone. Reads of the same run give them back.
QHash<QString, QVariantMap>& keptForThisRun()
{
    static QHash<QString, QVariantMap> kept;
    return kept;
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
// name for it where the file system allows, so that the settings path never
// stands empty; else it is moved there (movedTo tells where).
bool keepAside(const QString& path, QString& movedTo)
{
    const QString aside = freeAsideName(path);
    if (aside.isEmpty())
        return false;
    const QByteArray from = QFile::encodeName(path);
    const QByteArray to = QFile::encodeName(aside);
    if (link(from.constData(), to.constData()) == 0)
        return true;
    if (rename(from.constData(), to.constData()) != 0)
        return false;
    movedTo = aside;
    return true;
}

// A lock file that no live process holds. QLockFile keeps an advisory lock
// on the file for as long as it holds it, and writes its owner's details
// right after taking that lock: a file nobody has locked is left by a
// process that died, unless it is empty and so new that its maker may still
// be about to lock it.
bool removeAbandonedLock(const QString& lockPath)
{
    using namespace std::chrono;
    constexpr auto justMade = 100ms;
    const QByteArray name = QFile::encodeName(lockPath);
    const int fd = open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT; // gone meanwhile: take it at once
    struct stat held, named;
    bool abandoned = fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (abandoned && held.st_size == 0) {
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

// The lock QSettings itself takes for a store, so that copies of the program
// store one at a time; but never waited on for long.
bool takeStoreLock(QLockFile& lock, const QString& lockPath)
{
    QDeadlineTimer deadline(QSettingsRegistry::LockWaitMs);
    for (;;) {
        if (lock.tryLock(0))
            return true;
        if (lock.error() != QLockFile::LockFailedError)
            return false;
        const bool removed = removeAbandonedLock(lockPath);
        if (deadline.hasExpired())
            return false;
        if (!removed)
            QThread::msleep(5);
    }
}

// The new settings file, made beside the old one under a name of our own so
// that it can replace the old one at once, and so that a copy left by a kill
// is known for ours and removed at the next store.
const QString ScratchInfix = QStringLiteral(".tmp-");

QRegularExpression leftoverPattern(const QString& fileName)
{
    // The scratch file, and what QSettings makes beside it while writing it:
    // its lock, and its own temporary copy (six letters).
    return QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(fileName + ScratchInfix)
                              + QStringLiteral("[A-Za-z0-9]{6}(\\.lock|\\.lock\\.rmlock|\\.[A-Za-z]{6})?$"));
}

class ScratchFile {
public:
    explicit ScratchFile(const QString& beside) : beside_(beside) {}
    ~ScratchFile() { discard(); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // A new file holding text, in place of any made before.
    bool create(const QByteArray& text)
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

    // The merged file, written by QSettings itself so that it is exactly
    // what QSettings would have made.
    QSettings::Status merge(const QVariantMap& values)
    {
        QSettings settings(path_, QSettings::IniFormat);
        if (settings.status() != QSettings::NoError)
            return settings.status();
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            settings.setValue(it.key(), it.value());
        settings.sync();
        return settings.status();
    }

    // Puts the file in place of target, with target's permissions when
    // keepMode says so. QSettings reads a file again only when its size or
    // its time (to the millisecond) has changed, so each new file is stamped
    // later than the one it replaces.
    bool replace(const QString& target, const Inspection& old, bool keepMode)
    {
        const QByteArray name = QFile::encodeName(path_);
        if (keepMode && old.found == Found::File && chmod(name.constData(), old.st.st_mode & 0777) != 0)
            return false;
        if (old.found == Found::File || old.found == Found::UnreadableFile) {
            timespec now;
            clock_gettime(CLOCK_REALTIME, &now);
            const qint64 oldMs = qint64(old.st.st_mtim.tv_sec) * 1000 + old.st.st_mtim.tv_nsec / 1000000;
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

private:
    void discard()
    {
        if (!path_.isEmpty())
            unlink(QFile::encodeName(path_).constData());
        path_.clear();
    }

    static bool writeAll(int fd, const QByteArray& text)
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

    QString beside_;
    QString path_;
};

// Copies a kill left behind in the middle of a store: files of our own
// pattern only, never a link or a folder, nor another user's.
void removeLeftovers(const QString& path)
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

} // namespace

QSettingsRegistry::QSettingsRegistry(QString filePath)
    : filePath_(std::move(filePath))
{
    const Inspection found = inspect(filePath_);
    if (found.found == Found::Other) {
        leftAlone_ = true;
        return;
    }
    // A link to a regular file is written through: the file behind it is the
    // store, and the link stays.
    filePath_ = found.path;
}

QString QSettingsRegistry::defaultFilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Orvane.conf");
}

std::optional<QString> QSettingsRegistry::keyFor(const std::string& valuePath)
{
    const QString path = QString::fromStdString(valuePath);
    if (!path.startsWith(ValuePathPrefix))
        return std::nullopt;
    QString name = path.mid(ValuePathPrefix.size());
    if (!isPlainName(name))
        return std::nullopt;
    return name;
}

std::optional<std::string> QSettingsRegistry::read(const std::string& valuePath)
{
    const auto key = keyFor(valuePath);
    if (!key)
        return std::nullopt;
    QVariant value = keptForThisRun().value(filePath_).value(*key);
    if (!value.isValid() && !leftAlone_)
        value = stored().value(*key);
    if (!value.isValid())
        return std::nullopt;
    // A hand-edited line such as PlayPath=a,b is parsed as a list; the text
    // the user meant is the whole line.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u',').toStdString();
    if (!value.canConvert<QString>())
        return std::nullopt;
    return value.toString().toStdString();
}

const QVariantMap& QSettingsRegistry::stored()
{
    if (!stored_)
        stored_ = storedValues(inspect(filePath_));
    return *stored_;
}

void QSettingsRegistry::write(const std::string& valuePath, const std::string& value)
{
    const auto key = keyFor(valuePath);
    if (!key)
        throw std::invalid_argument("not an Orvane value path: " + valuePath);
    const QString text = QString::fromStdString(value);
    if (text.size() > MaxValueLength)
        throw std::length_error("too long to store: " + valuePath);
    QVariantMap& kept = keptForThisRun()[filePath_];
    kept.insert(*key, text);
    if (leftAlone_)
        return;
    stored_.reset();
    if (!store(kept))
        throw std::runtime_error("cannot write " + filePath_.toStdString() + " now; kept for this run");
    keptForThisRun().remove(filePath_);
}

// The new file is made in full beside the old one, from the file as it is
// now (another copy of the program may have stored since we read it) and the
// values given, and only then put in place.
bool QSettingsRegistry::store(const QVariantMap& values)
{
    // As QSettings does, the folder is made when it is missing.
    if (!QDir().mkpath(QFileInfo(filePath_).absolutePath()))
        return false;
    const QString lockPath = filePath_ + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    if (!takeStoreLock(lock, lockPath))
        return false;
    const Inspection found = inspect(filePath_);
    if (found.found == Found::Other || found.path != filePath_)
        return false;
    StoreBase base = storeBase(found);
    // A settings file the user made read-only stays as it is, as it does
    // with QSettings.
    if (!base.damaged && found.found == Found::File && access(QFile::encodeName(filePath_).constData(), W_OK) != 0)
        return false;
    ScratchFile scratch(filePath_);
    QSettings::Status merged = scratch.create(base.text) ? scratch.merge(values) : QSettings::AccessError;
    if (merged == QSettings::FormatError && !base.damaged) {
        // Text QSettings calls ill-formed (a "#" comment, a line without "=")
        // still holds values of ours.
        base = {salvageLines(filePath_), true};
        merged = scratch.create(base.text) ? scratch.merge(values) : QSettings::AccessError;
    }
    if (merged != QSettings::NoError)
        return false;
    // A damaged file is kept aside only now that its replacement is written:
    // a full disk must not cost the values it holds.
    QString movedTo;
    if (base.damaged && !keepAside(filePath_, movedTo))
        return false;
    if (!scratch.replace(filePath_, found, !base.damaged)) {
        if (!movedTo.isEmpty())
            rename(QFile::encodeName(movedTo).constData(), QFile::encodeName(filePath_).constData());
        return false;
    }
    removeLeftovers(filePath_);
    return true;
}

std::unique_ptr<Registry> makeQtSettingsRegistry()
{
    return std::make_unique<QSettingsRegistry>();
}

} // namespace orvane
