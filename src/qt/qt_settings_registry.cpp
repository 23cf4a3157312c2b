#include "qt/qt_settings_registry.h"

#include "qt/atomic_file.h"
#include "settings/settings_keys.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSettings>
#include <QTemporaryDir>
#include <QVariant>

#include <stdexcept>

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

// Every value settings holds, by key.
QVariantMap valuesIn(const QSettings& settings)
{
    QVariantMap values;
    for (const QString& key : settings.allKeys())
        values.insert(key, settings.value(key));
    return values;
}

// Our own "Name=text" lines of a damaged or oversized file, in its top-level
// section.
QByteArray salvage(const QString& path)
{
    bool topLevel = true;
    return "[General]\n" + salvageLines(path, QSettingsRegistry::MaxLineSize, [&topLevel](const QByteArray& line) {
        if (line.startsWith('[')) {
            topLevel = line == "[General]";
            return false;
        }
        for (const StoredSetting& s : StoredSettings) {
            const QByteArray name(s.name);
            if (topLevel && line.startsWith(name) && line.mid(name.size()).trimmed().startsWith('='))
                return true;
        }
        return false;
    });
}

// Every value in INI text, read the way QSettings reads it (it reads only
// files, so through a private copy).
QVariantMap parseIni(const QByteArray& text)
{
    QTemporaryDir folder;
    ScratchFile copy(folder.filePath(QStringLiteral("salvaged.conf")));
    if (!folder.isValid() || !copy.create(text))
        return {};
    return valuesIn(QSettings(copy.path(), QSettings::IniFormat));
}

// The text a store starts from: the file as it is, or, when it cannot be
// read as settings, the lines of ours it still holds (and it is to be set
// aside once the new file is in place).
struct StoreBase {
    QByteArray text;
    bool damaged = false;
};

StoreBase storeBase(const FileAtPath& found)
{
    if (found.kind == FileAtPath::UnreadableFile)
        return {{}, true};
    if (found.kind != FileAtPath::File)
        return {};
    const std::optional<QByteArray> bytes = readWholeFile(found.path, QSettingsRegistry::MaxFileSize);
    if (bytes && isText(*bytes))
        return {*bytes, false};
    return {salvage(found.path), true};
}

// The values in the file, the way the store would keep them.
QVariantMap storedValues(const FileAtPath& found)
{
    StoreBase base = storeBase(found);
    if (!base.damaged) {
        QSettings settings(found.path, QSettings::IniFormat);
        if (settings.status() != QSettings::FormatError)
            return valuesIn(settings);
        base.text = salvage(found.path);
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
    const FileAtPath found = lookAtFile(filePath_);
    if (found.kind == FileAtPath::Other) {
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
        stored_ = storedValues(lookAtFile(filePath_));
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
    return replaceFile(filePath_, LockWaitMs, [&](ScratchFile& scratch) -> std::optional<Replacing> {
        const FileAtPath found = lookAtFile(filePath_);
        if (found.kind == FileAtPath::Other || found.path != filePath_)
            return std::nullopt;
        StoreBase base = storeBase(found);
        // A settings file the user made read-only stays as it is, as it does
        // with QSettings.
        const bool readable = found.kind == FileAtPath::File;
        if (!base.damaged && readable && access(QFile::encodeName(filePath_).constData(), W_OK) != 0)
            return std::nullopt;
        QSettings::Status merged = scratch.create(base.text) ? mergeInto(scratch.path(), values) : QSettings::AccessError;
        if (merged == QSettings::FormatError && !base.damaged) {
            // Text QSettings calls ill-formed (a "#" comment, a line without "=")
            // still holds values of ours.
            base = {salvage(filePath_), true};
            merged = scratch.create(base.text) ? mergeInto(scratch.path(), values) : QSettings::AccessError;
        }
        if (merged != QSettings::NoError)
            return std::nullopt;
        const bool hadFile = readable || found.kind == FileAtPath::UnreadableFile;
        return Replacing{hadFile ? std::optional(found.st) : std::nullopt, !base.damaged && readable, base.damaged};
    });
}

std::unique_ptr<Registry> makeQtSettingsRegistry()
{
    return std::make_unique<QSettingsRegistry>();
}

} // namespace orvane
