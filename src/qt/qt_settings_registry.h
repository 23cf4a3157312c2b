#pragma once

#include "settings/mod_reg.h"

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
    // The longest text a value may hold, in UTF-16 units: as much as the play
    // path box takes. A longer value is refused, so that whatever is stored
    // is read back whole.
    static constexpr qsizetype MaxValueLength = 32767;
    // QSettings writes no UTF-16 unit as more than four bytes ("\x1f", or half
    // of a four-byte letter); the name, quotes and escapes around it take
    // far less than the rest.
    static constexpr qint64 MaxLineSize = 4 * MaxValueLength + 64;
    // A settings file larger than this is not ours (ours holds five values,
    // each on a line no longer than the above); parsing it whole would only
    // stall start-up, so only our own lines are taken from it.
    static constexpr qint64 MaxFileSize = 1024 * 1024;
    static_assert(MaxFileSize >= 5 * MaxLineSize + 16, "five values at their longest fit");
    // How long a store waits for another copy of the program to finish its
    // own; the window thread must not stall longer.
    static constexpr int LockWaitMs = 250;

    explicit QSettingsRegistry(QString filePath = defaultFilePath());

    // A value that cannot be stored now (the file is locked, the disk is
    // full) is kept for the rest of the run, read back from memory, and
    // stored with the next value that can be; the write still throws.
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
    const QVariantMap& stored();
    bool store(const QVariantMap& values);

    QString filePath_;
    bool leftAlone_ = false; // not a regular file: never opened nor replaced
    std::optional<QVariantMap> stored_; // the file's values, read at the first read
};

// The factory of the program's settings provider: one registry object per call.
std::unique_ptr<Registry> makeQtSettingsRegistry();

} // namespace orvane
