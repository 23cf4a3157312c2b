#include "settings/qt_settings_registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringList>
#include <QVariant>

#include <stdexcept>

namespace orvane {

namespace {

const QString ValuePathPrefix = QStringLiteral("HKEY_CURRENT_USER\\Software\\Orvane\\");

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

// Our file is short UTF-8 text. Random bytes mostly parse as INI lines all the
// same, and would stay in the file as junk keys, so they are caught here.
bool isTextFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return true; // missing or unreadable: QSettings reports that itself
    const QByteArray bytes = file.readAll();
    if (bytes.contains('\0'))
        return false;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)utf8.decode(bytes);
    return !utf8.hasError();
}

} // namespace

QSettingsRegistry::QSettingsRegistry(QString filePath)
    : filePath_(std::move(filePath))
{
    const QFileInfo info(filePath_);
    if (info.isFile() && (info.size() > MaxFileSize || !isTextFile(filePath_))) {
        unusable_ = true;
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
    if (!key || unusable_)
        return std::nullopt;
    const QVariant value = settings_->value(*key);
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
    QSettings& settings = openSettings();
    settings.setValue(*key, QString::fromStdString(value));
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw std::runtime_error("cannot write " + filePath_.toStdString());
}

QSettings& QSettingsRegistry::openSettings()
{
    if (unusable_) {
        setAsideUnusableFile();
        settings_ = std::make_unique<QSettings>(filePath_, QSettings::IniFormat);
    }
    return *settings_;
}

// A file we cannot read would otherwise swallow every write (or keep its
// junk around ours); it is kept beside the new one for whoever wants it.
void QSettingsRegistry::setAsideUnusableFile()
{
    settings_.reset();
    const QString aside = filePath_ + QStringLiteral(".bad");
    QFile::remove(aside);
    if (!QFile::rename(filePath_, aside))
        QFile::remove(filePath_);
    unusable_ = false;
}

std::unique_ptr<Registry> makeQtSettingsRegistry()
{
    return std::make_unique<QSettingsRegistry>();
}

} // namespace orvane
