#include "qt/qt_settings_registry.h"

#include "settings/settings_keys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
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

bool isUtf8(const QByteArray& bytes);

// Our file is short UTF-8 text. Random bytes mostly parse as INI lines all the
// same, and would stay in the file as junk keys, so they are caught here.
bool isTextFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return true; // missing or unreadable: QSettings reports that itself
    const QByteArray bytes = file.readAll();
    return !bytes.contains('\0') && isUtf8(bytes);
}

bool isUtf8(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)utf8.decode(bytes);
    return !utf8.hasError();
}

// The values of ours that a damaged or oversized file still holds: its
// well-formed "Name=text" lines in the top-level section, found in one pass
// over the file, then read the way QSettings reads them.
QVariantMap salvageValues(const QString& path)
{
    static const QList<QByteArray> names{"PlayOrder", "Sub", "Repeat", "PlayPath", "Version"};
    constexpr qint64 longestLine = 16 * 1024;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray kept = "[General]\n";
    bool topLevel = true;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(longestLine).trimmed();
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
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return {};
    const QString copy = scratch.filePath(QStringLiteral("salvaged.conf"));
    QFile out(copy);
    if (!out.open(QIODevice::WriteOnly) || out.write(kept) != kept.size())
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
    qint64 size = 0;
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
        return {errno == EACCES || errno == EPERM ? Found::UnreadableFile : Found::Other, real};
    }
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    close(fd);
    return {regular ? Found::File : Found::Other, real, static_cast<qint64>(st.st_size)};
}

// Values written this run where the store leaves the path alone, by path:
// later reads of the same run give them back, and nothing is written there.
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
    if (found.found == Found::UnreadableFile) {
        unusable_ = true;
        return;
    }
    if (found.found == Found::File && (found.size > MaxFileSize || !isTextFile(filePath_))) {
        unusable_ = true;
        salvaged_ = salvageValues(filePath_);
        return;
    }
    settings_ = std::make_unique<QSettings>(filePath_, QSettings::IniFormat);
    unusable_ = settings_->status() == QSettings::FormatError;
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
        value = unusable_ ? salvaged_.value(*key) : settings_->value(*key);
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

void QSettingsRegistry::write(const std::string& valuePath, const std::string& value)
{
    const auto key = keyFor(valuePath);
    if (!key)
        throw std::invalid_argument("not an Orvane value path: " + valuePath);
    if (unusable_ && !setAsideUnusableFile()) {
        keptForThisRun()[filePath_].insert(salvaged_);
        leftAlone_ = true;
    }
    if (leftAlone_) {
        keptForThisRun()[filePath_].insert(*key, QString::fromStdString(value));
        return;
    }
    QSettings& settings = openSettings();
    settings.setValue(*key, QString::fromStdString(value));
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw std::runtime_error("cannot write " + filePath_.toStdString());
}

QSettings& QSettingsRegistry::openSettings()
{
    if (!settings_) {
        settings_ = std::make_unique<QSettings>(filePath_, QSettings::IniFormat);
        for (auto it = salvaged_.cbegin(); it != salvaged_.cend(); ++it)
            settings_->setValue(it.key(), it.value());
        salvaged_.clear();
    }
    return *settings_;
}

// A file we cannot read would otherwise swallow every write (or keep its
// junk around ours); it is kept beside the new one, which starts with the
// values that could be saved from it. A file that cannot be moved stays as
// it is.
bool QSettingsRegistry::setAsideUnusableFile()
{
    settings_.reset();
    const QString aside = freeAsideName(filePath_);
    if (aside.isEmpty() || !QFile::rename(filePath_, aside))
        return false;
    unusable_ = false;
    return true;
}

std::unique_ptr<Registry> makeQtSettingsRegistry()
{
    return std::make_unique<QSettingsRegistry>();
}

} // namespace orvane
