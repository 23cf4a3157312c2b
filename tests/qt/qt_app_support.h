#pragma once

// Helpers for the window tests: a private settings file per test and waiting
// on the event loop.

#include "settings/mod_reg.h"
#include "qt/qt_settings_registry.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <string>

namespace orvane::test {

// Points XDG_CONFIG_HOME at a fresh folder for the lifetime of the object;
// settings() reaches the real settings file there.
class SettingsSandbox {
public:
    SettingsSandbox()
        : hadHome_(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
        , oldHome_(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path()));
    }
    ~SettingsSandbox()
    {
        if (hadHome_)
            qputenv("XDG_CONFIG_HOME", oldHome_);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }
    SettingsSandbox(const SettingsSandbox&) = delete;
    SettingsSandbox& operator=(const SettingsSandbox&) = delete;

    SettingsProvider& settings() { return settings_; }
    QString folder() const { return dir_.path(); }
    QString filePath() const { return dir_.path() + QStringLiteral("/Orvane.conf"); }

    // The stored value as the program reads it.
    std::string value(const char* name)
    {
        return settings_.ReadRegValue(std::string("HKEY_CURRENT_USER\\Software\\Orvane\\") + name);
    }
    void setValue(const char* name, const std::string& text)
    {
        settings_.WriteRegValue(std::string("HKEY_CURRENT_USER\\Software\\Orvane\\") + name, text);
    }

    // Every key in the file, sorted, joined by blanks.
    std::string keys() const
    {
        QSettings settings(filePath(), QSettings::IniFormat);
        QStringList all = settings.allKeys();
        all.sort();
        return all.join(u' ').toStdString();
    }

    QByteArray fileBytes() const
    {
        QFile file(filePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void writeFile(const QByteArray& bytes) const
    {
        QFile file(filePath());
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(bytes);
    }

private:
    QTemporaryDir dir_;
    bool hadHome_;
    QByteArray oldHome_;
    SettingsProvider settings_{makeQtSettingsRegistry};
};

// Runs the event loop until done() holds or timeoutMs passes; says which.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 3000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

} // namespace orvane::test
