#pragma once

#include "settings/mod_reg.h"

#include <QSettings>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <optional>
#include <string>

namespace orvane {

// The per-user store on systems without a Windows registry: an INI file,
// ${XDG_CONFIG_HOME:-$HOME/.config}/Orvane.conf, with one top-level key per
// value name ("HKEY_CURRENT_USER\Software\Orvane\PlayOrder" is the key
// PlayOrder). Text crosses as UTF-8.
class QSettingsRegistry : public Registry {
public:
    // A settings file larger than this is not ours (ours holds five short
    // values); parsing it whole would only stall start-up, so only our own
    // lines are taken from it.
    static constexpr qint64 MaxFileSize = 64 * 1024;

    explicit QSettingsRegistry(QString filePath = defaultFilePath());

    void write(const std::string& valuePath, const std::string& value) override;
    std::optional<std::string> read(const std::string& valuePath) override;

    const QString& filePath() const { return filePath_; }

    // Where the settings live for the current user, read from the environment
    // at each call.
    static QString defaultFilePath();

    // The key a full value path maps to, or nothing for a path outside
    // HKEY_CURRENT_USER\Software\Orvane.
    static std::optional<QString> keyFor(const std::string& valuePath);

private:
    QSettings& openSettings();
    bool setAsideUnusableFile();

    QString filePath_;
    bool unusable_ = false;
    bool leftAlone_ = false; // not a regular file: never opened nor replaced
    QVariantMap salvaged_; // what an unusable file still holds of ours
    std::unique_ptr<QSettings> settings_;
};

// The factory of the program's settings provider: one registry object per call.
std::unique_ptr<Registry> makeQtSettingsRegistry();

} // namespace orvane
