#include "qt/qt_settings_registry.h"

#include "qt/atomic_file.h"
#include "settings/settings_keys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QSettings>
#include <QStringDecoder>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <cerrno>
#include <stdexcept>

#include <fcntl.h>
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

// The merged file, written by QSettings itself into the new file so that it
// is exactly what QSettings would have made.
QSettings::Status mergeInto(const QString& path, const QVariantMap& values)
{
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return settings.status();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings.setValue(it.key(), it.value());
    settings.sync();
    return settings.status();
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
    if (!takeFileLock(lock, lockPath, LockWaitMs))
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
    QSettings::Status merged = scratch.create(base.text) ? mergeInto(scratch.path(), values) : QSettings::AccessError;
    if (merged == QSettings::FormatError && !base.damaged) {
        // Text QSettings calls ill-formed (a "#" comment, a line without "=")
        // still holds values of ours.
        base = {salvageLines(filePath_), true};
        merged = scratch.create(base.text) ? mergeInto(scratch.path(), values) : QSettings::AccessError;
    }
    if (merged != QSettings::NoError)
        return false;
    // A damaged file is kept aside only now that its replacement is written:
    // a full disk must not cost the values it holds.
    QString movedTo;
    if (base.damaged && !keepAside(filePath_, movedTo))
        return false;
    const bool hadFile = found.found == Found::File || found.found == Found::UnreadableFile;
    if (!scratch.replace(filePath_, hadFile ? &found.st : nullptr, !base.damaged && found.found == Found::File)) {
        if (!movedTo.isEmpty())
            rename(QFile::encodeName(movedTo).constData(), QFile::encodeName(filePath_).constData());
        return false;
    }
    removeScratchLeftovers(filePath_);
    return true;
}

std::unique_ptr<Registry> makeQtSettingsRegistry()
{
    return std::make_unique<QSettingsRegistry>();
}

} // namespace orvane
