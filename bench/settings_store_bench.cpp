// One settings store (a choice clicked in the window) against QSettings
// storing the same value into a file of its own in the same folder, timed in
// the same run; also with a lock left behind by a killed copy before every
// store. Usage: settings_store_bench [FOLDER] [STORES]
#include "bench_support.h"
#include "qt/qt_settings_registry.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

using namespace orvane;
using namespace orvane::bench;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString base = argc > 1 && *argv[1] ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    const int stores = argc > 2 ? std::atoi(argv[2]) : 100;
    QTemporaryDir folder(base + "/orvane-bench-settings-XXXXXX");
    const QString path = folder.filePath("Orvane.conf");
    const QString reference = folder.filePath("Reference.conf");
    const std::string sub = "HKEY_CURRENT_USER\\Software\\Orvane\\Sub";
    {
        QSettingsRegistry first(path);
        for (const char* name : {"PlayOrder", "Repeat", "PlayPath", "Version"})
            first.write(std::string("HKEY_CURRENT_USER\\Software\\Orvane\\") + name, "0");
    }

    std::vector<double> ours, left, theirs;
    for (int i = 0; i < stores; ++i) {
        const std::string value = std::to_string(i % 2);
        theirs.push_back(secondsOf([&] {
            QSettings settings(reference, QSettings::IniFormat);
            settings.setValue("Sub", QString::fromStdString(value));
            settings.sync();
        }));
        ours.push_back(secondsOf([&] { QSettingsRegistry(path).write(sub, value); }));
        QFile lock(path + ".lock");
        // Empty, as a kill between making it and writing it leaves it; a
        // second old, as it is by the time the next copy starts.
        lock.open(QIODevice::WriteOnly);
        lock.setFileTime(QDateTime::currentDateTime().addSecs(-1), QFileDevice::FileModificationTime);
        lock.close();
        left.push_back(secondsOf([&] { QSettingsRegistry(path).write(sub, value); }));
    }

    std::printf("%d stores in %s (medians)\n", stores, qPrintable(base));
    printRatio("store vs QSettings sync", median(ours), median(theirs), 2.0);
    printRatio("store after a killed copy's lock", median(left), median(theirs), 2.0);
    return 0;
}
