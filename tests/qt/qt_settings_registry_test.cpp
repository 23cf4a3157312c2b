#include "qt/qt_settings_registry.h"

#include "settings/mod_reg.h"
#include "settings/settings_store.h"
#include "qt/qt_app_support.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvane {
namespace {

using test::makeSocket;
using test::SettingsSandbox;

const std::string FiveKeys = "PlayOrder PlayPath Repeat Sub Version";

TEST(QtSettingsRegistry, FileLivesUnderXdgConfigHomeOrHomeConfig)
{
    SettingsSandbox sandbox;
    EXPECT_EQ(QSettingsRegistry::defaultFilePath(), sandbox.filePath());

    qputenv("XDG_CONFIG_HOME", "");
    EXPECT_EQ(QSettingsRegistry::defaultFilePath(), QDir::homePath() + "/.config/Orvane.conf");
}

TEST(QtSettingsRegistry, OnlyOrvaneValuePathsAreAccepted)
{
    SettingsSandbox sandbox;
    QSettingsRegistry reg(sandbox.filePath());
    EXPECT_EQ(QSettingsRegistry::keyFor("HKEY_CURRENT_USER\\Software\\Orvane\\PlayOrder"),
              QString("PlayOrder"));
    for (const char* bad : {"HKEY_CURRENT_USER\\Software\\Other\\PlayOrder",
                            "HKEY_LOCAL_MACHINE\\Software\\Orvane\\PlayOrder",
                            "HKEY_CURRENT_USER\\Software\\Orvane\\",
                            "HKEY_CURRENT_USER\\Software\\Orvane\\Sub\\Deeper",
                            "HKEY_CURRENT_USER\\Software\\Orvane\\General/Sub", "PlayOrder"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(QSettingsRegistry::keyFor(bad));
        EXPECT_FALSE(reg.read(bad));
        EXPECT_ANY_THROW(reg.write(bad, "1"));
    }
    EXPECT_FALSE(QFileInfo::exists(sandbox.filePath()))
        << "a refused write must not create the file";
}

TEST(QtSettingsRegistry, FirstRunWritesExactlyTheFiveDefaults)
{
    SettingsSandbox sandbox;
    applyFirstRunRule(sandbox.settings());

    EXPECT_EQ(sandbox.keys(), FiveKeys);
    EXPECT_EQ(sandbox.value("PlayOrder"), "2");
    EXPECT_EQ(sandbox.value("Sub"), "0");
    EXPECT_EQ(sandbox.value("Repeat"), "0");
    EXPECT_EQ(sandbox.value("PlayPath"), "");
    EXPECT_EQ(sandbox.value("Version"), "3.0.0");
    // Top-level keys, as QSettings writes them: the [General] section.
    EXPECT_TRUE(sandbox.fileBytes().startsWith("[General]\n")) << sandbox.fileBytes().toStdString();
    EXPECT_TRUE(sandbox.fileBytes().contains("\nPlayPath=\n"));
}

TEST(QtSettingsRegistry, SameVersionLeavesTheFileUntouched)
{
    SettingsSandbox sandbox;
    sandbox.writeFile("[General]\nVersion=3.0.0\nPlayOrder=1\nSub=1\n");
    const QByteArray before = sandbox.fileBytes();

    applyFirstRunRule(sandbox.settings());

    EXPECT_EQ(sandbox.fileBytes(), before);
    EXPECT_EQ(sandbox.keys(), "PlayOrder Sub Version");
}

TEST(QtSettingsRegistry, AnyOtherVersionResetsTheChoices)
{
    for (const char* old : {"2.1.0", "3.0", "3.0.0 ", "", "3.0.1"}) {
        SCOPED_TRACE(old);
        SettingsSandbox sandbox;
        sandbox.setValue("Version", old);
        sandbox.setValue("PlayOrder", "1");
        sandbox.setValue("Sub", "1");
        sandbox.setValue("Repeat", "1");
        sandbox.setValue("PlayPath", "/music/old");

        applyFirstRunRule(sandbox.settings());

        EXPECT_EQ(sandbox.value("PlayOrder"), "2");
        EXPECT_EQ(sandbox.value("Sub"), "0");
        EXPECT_EQ(sandbox.value("Repeat"), "0");
        EXPECT_EQ(sandbox.value("PlayPath"), "");
        EXPECT_EQ(sandbox.value("Version"), "3.0.0");
    }
}

TEST(QtSettingsRegistry, AwkwardPlayPathsSurviveAWriteAndARead)
{
    SettingsSandbox sandbox;
    const std::string paths[] = {
        "/music/a,b,c",
        "/music/\"quoted\" and 'single'",
        "/music/key=value",
        "/music/semi;colon",
        "#/music/hash",
        "/music/#inside",
        "@ByteArray(/music)",
        "@Variant(x)",
        "@@",
        " /music/spaces around ",
        "C:\\Music\\Disc 1\\",
        "[General]",
        "/musik/Grüße/Ωmega/日本語/🎵",
        "/music/100%/%41",
        "",
    };
    for (const auto& path : paths) {
        SCOPED_TRACE(path);
        sandbox.setValue("PlayPath", path);
        EXPECT_EQ(sandbox.value("PlayPath"), path);
    }
    // The other values are not disturbed by any of it.
    sandbox.setValue("Sub", "1");
    sandbox.setValue("PlayPath", "/music/a=b,c;#d");
    EXPECT_EQ(sandbox.value("Sub"), "1");
    EXPECT_EQ(sandbox.keys(), "PlayPath Sub");
}

TEST(QtSettingsRegistry, HandEditedValuesReadAsTheirText)
{
    SettingsSandbox sandbox;
    sandbox.writeFile("[General]\nPlayPath=/music/a,b,c\nSub=1\nVersion=3.0.0\n"
                      "PlayOrder=\"1\"\n");
    EXPECT_EQ(sandbox.value("PlayPath"), "/music/a,b,c");
    EXPECT_EQ(sandbox.value("Sub"), "1");
    EXPECT_EQ(sandbox.value("PlayOrder"), "1");
    EXPECT_EQ(sandbox.value("Repeat"), "") << "a missing value reads as empty text";
    EXPECT_FALSE(QSettingsRegistry(sandbox.filePath())
                     .read("HKEY_CURRENT_USER\\Software\\Orvane\\Repeat"));
}

TEST(QtSettingsRegistry, GarbageFileNeitherStopsTheProgramNorBlocksTheDefaults)
{
    SettingsSandbox sandbox;
    QByteArray junk(8192, '\0');
    QRandomGenerator rng(42);
    for (auto& byte : junk)
        byte = static_cast<char>(rng.bounded(256));
    sandbox.writeFile(junk);
    QFile earlier(sandbox.filePath() + ".bad");
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("set aside by an earlier run");
    earlier.close();

    EXPECT_EQ(sandbox.value("Version"), "");
    applyFirstRunRule(sandbox.settings());

    EXPECT_EQ(sandbox.keys(), FiveKeys);
    EXPECT_EQ(sandbox.value("Version"), "3.0.0");
    QFile aside(sandbox.filePath() + ".bad2");
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly)) << "the unreadable file is kept aside";
    EXPECT_EQ(aside.readAll(), junk);
    ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
    EXPECT_EQ(earlier.readAll(), "set aside by an earlier run");
}

TEST(QtSettingsRegistry, OversizedFileKeepsItsValuesAndIsReplaced)
{
    SettingsSandbox sandbox;
    // Well-formed, but far larger than any settings file of ours.
    QByteArray big = "[General]\nVersion=3.0.0\nPlayOrder=1\n";
    while (big.size() <= QSettingsRegistry::MaxFileSize)
        big += "Filler=0123456789012345678901234567890123456789\n";
    sandbox.writeFile(big);

    EXPECT_EQ(sandbox.value("Version"), "3.0.0");
    EXPECT_EQ(sandbox.value("PlayOrder"), "1");
    sandbox.setValue("Sub", "1");
    EXPECT_EQ(sandbox.keys(), "PlayOrder Sub Version");
    EXPECT_LT(QFileInfo(sandbox.filePath()).size(), 100);
}

TEST(QtSettingsRegistry, DamagedFileKeepsEveryReadableValue)
{
    SettingsSandbox sandbox;
    QByteArray damaged("[General]\nVersion=3.0.0\nPlayPath=\"/music/a, b\"\nSub=1\n");
    damaged += QByteArray(300, '\0');
    damaged += "Rep\xff\xfe\nRepeat=1\n[Other]\nPlayOrder=9\n\x01\x02garbage";
    sandbox.writeFile(damaged);

    // Start-up sees the same version and loads what could be read.
    applyFirstRunRule(sandbox.settings());
    ControlModel controls;
    loadSettings(sandbox.settings(), controls);
    EXPECT_EQ(controls.Text1(), "/music/a, b");
    EXPECT_EQ(controls.ckSub(), 1);
    EXPECT_EQ(controls.ckRepeat(), 1);
    EXPECT_TRUE(controls.optName()); // PlayOrder was only in another section

    storeAllSettings(sandbox.settings(), controls);
    EXPECT_EQ(sandbox.keys(), FiveKeys);
    EXPECT_EQ(sandbox.value("PlayPath"), "/music/a, b");
    EXPECT_EQ(sandbox.value("Version"), "3.0.0");
}

TEST(QtSettingsRegistry, HugeFileIsReadInOnePassAndKeepsItsValues)
{
    SettingsSandbox sandbox;
    {
        QFile file(sandbox.filePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[General]\nVersion=3.0.0\nPlayPath=/songs\n");
        const QByteArray junk(1 << 20, '#');
        for (int i = 0; i < 64; ++i) // 64 MiB of one endless comment line
            file.write(junk);
        file.write("\nRepeat=1\n");
    }
    EXPECT_EQ(sandbox.value("PlayPath"), "/songs");
    EXPECT_EQ(sandbox.value("Repeat"), "1");
}

// Runs body in a child process, so that a store blocking on what sits at
// the settings path fails the test instead of hanging it. Gives what body
// returned; or "blocked" when it did not end before the deadline, or
// "crashed".
std::string inAChild(const std::function<std::string()>& body, std::chrono::seconds deadline = std::chrono::seconds(30))
{
    int out[2];
    if (pipe(out) != 0)
        return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(out[0]);
#ifndef __SANITIZE_ADDRESS__
        // A store reading an endless device must not take the machine's
        // memory with it: a gigabyte more than the child has now.
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            unsigned long pages = 0;
            if (std::fscanf(statm, "%lu", &pages) == 1) {
                const rlim_t most = pages * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(1) << 30);
                const rlimit limit{most, most};
                setrlimit(RLIMIT_AS, &limit);
            }
            std::fclose(statm);
        }
#endif
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        const std::string report = body();
        _exit(write(out[1], report.data(), report.size()) == ssize_t(report.size()) ? 0 : 1);
    }
    close(out[1]);
    using namespace std::chrono;
    const auto end = steady_clock::now() + deadline;
    // Read as it comes, so that a long report cannot fill the pipe.
    fcntl(out[0], F_SETFL, O_NONBLOCK);
    std::string received;
    int status = 0;
    pid_t ended = 0;
    const auto drain = [&] {
        char buffer[4096];
        for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
            received.append(buffer, std::size_t(n));
    };
    while (child > 0 && (ended = waitpid(child, &status, WNOHANG)) == 0 && steady_clock::now() < end) {
        drain();
        std::this_thread::sleep_for(10ms);
    }
    drain();
    close(out[0]);
    if (child > 0 && ended == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        return "blocked";
    }
    return ended > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? received : "crashed";
}

// Start-up, the main window's load and its unload with a typed play path.
// Gives the play path and Subdirectories the window showed, then the play
// path read after the unload.
std::string startLoadAndStore()
{
    SettingsProvider settings(makeQtSettingsRegistry);
    applyFirstRunRule(settings);
    ControlModel controls;
    loadSettings(settings, controls);
    std::string report = controls.Text1() + "|" + std::to_string(controls.ckSub()) + "|";
    controls.setText1("/music/typed");
    storeAllSettings(settings, controls);
    return report + settings.ReadRegValue(regPath("PlayPath"));
}

std::string startLoadAndStoreInAChild(std::chrono::seconds deadline = std::chrono::seconds(30))
{
    return inAChild(startLoadAndStore, deadline);
}

// The names in a folder, sorted, one a line.
std::string namesIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names.join(u'\n').toStdString();
}

// Everything in a folder, opening nothing but folders and regular files: each
// name with its kind, where a link leads and the kind of what is there, and a
// regular file's bytes.
std::string describeFolder(const std::filesystem::path& folder)
{
    namespace fs = std::filesystem;
    std::set<std::string> lines;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        std::error_code error;
        const fs::path& path = entry.path();
        std::string line = path.filename().string() + ": " + std::to_string(int(fs::symlink_status(path).type()));
        if (fs::is_symlink(fs::symlink_status(path)))
            line += " to " + fs::read_symlink(path).string() + ", " + std::to_string(int(fs::status(path, error).type()));
        else if (fs::is_directory(path))
            line += " [" + describeFolder(path) + "]";
        else if (fs::is_regular_file(path))
            line += " \"" + std::string(std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {}) + "\"";
        lines.insert(line);
    }
    std::string out;
    for (const std::string& line : lines)
        out += line + "\n";
    return out;
}

// What may sit at the settings path besides a regular file. None of it is
// ours: start-up neither blocks nor fails, shows the defaults, keeps what is
// stored for the rest of the run, and leaves everything as it found it.
TEST(QtSettingsRegistry, WhatIsNotARegularFileIsLeftAloneAndNeverBlocks)
{
    const struct {
        const char* what;
        std::function<void(const std::string& path, const std::string& folder)> make;
    } cases[] = {
        {"a folder", [](auto& path, auto&) {
             QDir().mkpath(QString::fromStdString(path + "/inside"));
             QFile file(QString::fromStdString(path + "/Orvane.conf"));
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             file.write("[General]\nPlayPath=/music/inside\n");
         }},
        {"a named pipe", [](auto& path, auto&) { ASSERT_EQ(mkfifo(path.c_str(), 0644), 0); }},
        {"a socket", [](auto& path, auto&) { makeSocket(path); }},
        {"a link to /dev/zero", [](auto& path, auto&) { ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0); }},
        {"a link to /dev/null", [](auto& path, auto&) { ASSERT_EQ(symlink("/dev/null", path.c_str()), 0); }},
        {"a link to a folder", [](auto& path, auto& folder) {
             ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder + "/real")));
             ASSERT_EQ(symlink("real", path.c_str()), 0);
         }},
        {"a link to a named pipe", [](auto& path, auto& folder) {
             ASSERT_EQ(mkfifo((folder + "/pipe").c_str(), 0644), 0);
             ASSERT_EQ(symlink((folder + "/pipe").c_str(), path.c_str()), 0);
         }},
        {"a dangling link", [](auto& path, auto&) { ASSERT_EQ(symlink("nowhere.conf", path.c_str()), 0); }},
        {"a link to itself", [](auto& path, auto&) { ASSERT_EQ(symlink("Orvane.conf", path.c_str()), 0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SettingsSandbox sandbox;
        const std::string folder = sandbox.folder().toStdString();
        c.make(sandbox.filePath().toStdString(), folder);
        const std::string before = describeFolder(folder);

        EXPECT_EQ(startLoadAndStoreInAChild(), "|0|/music/typed");
        EXPECT_EQ(describeFolder(folder), before);
    }
    struct stat st;
    EXPECT_TRUE(stat("/dev/null", &st) == 0 && S_ISCHR(st.st_mode)) << "the store wrote over /dev/null";
}

TEST(QtSettingsRegistry, LinkToASettingsFileIsReadAndWrittenThrough)
{
    SettingsSandbox sandbox;
    const QString real = sandbox.folder() + "/dotfiles/Orvane.conf";
    QDir().mkpath(sandbox.folder() + "/dotfiles");
    QFile file(real);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\nVersion=3.0.0\nPlayOrder=2\nRepeat=0\nSub=1\nPlayPath=/music/linked\n");
    file.close();
    ASSERT_EQ(symlink("dotfiles/Orvane.conf", QFile::encodeName(sandbox.filePath()).constData()), 0);

    EXPECT_EQ(startLoadAndStoreInAChild(), "/music/linked|1|/music/typed");
    EXPECT_EQ(QFileInfo(sandbox.filePath()).symLinkTarget(), QFileInfo(real).absoluteFilePath());
    EXPECT_EQ(QSettings(real, QSettings::IniFormat).value("PlayPath").toString(), "/music/typed");
    EXPECT_EQ(sandbox.keys(), FiveKeys);
}

// A file we may not read is still the user's: it is set aside whole at the
// first store, and the store goes on in a fresh file.
TEST(QtSettingsRegistry, UnreadableFileIsSetAsideWholeUnprivileged)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    SettingsSandbox sandbox;
    const QByteArray held = "[General]\nVersion=3.0.0\nPlayPath=/music/private\n";
    sandbox.writeFile(held);
    QFile::setPermissions(sandbox.filePath(), QFileDevice::Permissions());

    EXPECT_EQ(startLoadAndStoreInAChild(), "|0|/music/typed");
    QFile aside(sandbox.filePath() + ".bad");
    aside.setPermissions(QFileDevice::ReadOwner);
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly)) << "the unreadable file is kept aside";
    EXPECT_EQ(aside.readAll(), held);
    EXPECT_EQ(sandbox.value("PlayPath"), "/music/typed");
}

TEST(QtSettingsRegistry, UnwritableFolderKeepsWritesForTheRunOnly)
{
    SettingsSandbox sandbox;
    // A file where the folder should be: nothing can be created under it,
    // whoever runs the test.
    const QString blocker = sandbox.folder() + "/blocker";
    QFile(blocker).open(QIODevice::WriteOnly);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(blocker + "/config"));

    EXPECT_ANY_THROW(QSettingsRegistry().write("HKEY_CURRENT_USER\\Software\\Orvane\\Sub", "1"));
    EXPECT_NO_THROW(applyFirstRunRule(sandbox.settings()));
    EXPECT_EQ(sandbox.value("Version"), "3.0.0");
    EXPECT_EQ(sandbox.value("Sub"), "0");
    EXPECT_EQ(namesIn(sandbox.folder()), "blocker");
}

TEST(QtSettingsRegistry, MissingFolderIsMadeAtTheFirstStore)
{
    SettingsSandbox sandbox;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(sandbox.folder() + "/new/config"));
    applyFirstRunRule(sandbox.settings());
    EXPECT_EQ(sandbox.value("Version"), "3.0.0");
    EXPECT_EQ(QSettings(sandbox.folder() + "/new/config/Orvane.conf", QSettings::IniFormat).allKeys().size(), 5);
}

// A settings file the user made read-only is not replaced.
TEST(QtSettingsRegistry, ReadOnlyFileIsNotReplacedUnprivileged)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes every file";
    SettingsSandbox sandbox;
    const QByteArray frozen = "[General]\nSub=1\n";
    sandbox.writeFile(frozen);
    ASSERT_TRUE(QFile::setPermissions(sandbox.filePath(), QFileDevice::ReadOwner));
    EXPECT_ANY_THROW(QSettingsRegistry().write(regPath("Sub"), "0"));
    EXPECT_EQ(sandbox.fileBytes(), frozen);
    EXPECT_EQ((QFile::permissions(sandbox.filePath()) & 0x7077), QFileDevice::ReadOwner);
    EXPECT_EQ(namesIn(sandbox.folder()), "Orvane.conf");
}

// A lock left by a copy of the program killed at the wrong moment (empty,
// or holding what no lock of QSettings holds) is taken over at once:
// start-up, the window's load and its unload go through, and the values
// reach the file.
TEST(QtSettingsRegistry, LockLeftByAKilledCopyIsTakenOverAtOnce)
{
    for (const QByteArray& left : {QByteArray(), QByteArray("\x01 not a lock")}) {
        SCOPED_TRACE(left.toStdString());
        SettingsSandbox sandbox;
        QFile lock(sandbox.filePath() + ".lock");
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write(left);
        lock.close();

        // Waiting on the lock as QSettings does takes half a minute.
        EXPECT_EQ(startLoadAndStoreInAChild(std::chrono::seconds(10)), "|0|/music/typed");
        EXPECT_EQ(sandbox.keys(), FiveKeys);
        EXPECT_EQ(sandbox.value("PlayPath"), "/music/typed");
        EXPECT_EQ(namesIn(sandbox.folder()), "Orvane.conf");
    }
}

// Another copy of the program that holds the lock for longer than a moment
// (here a lock held in the same process) does not stall the window: the
// values wait in memory, are read from there, and go to the file with the
// next store.
TEST(QtSettingsRegistry, StoreUnderAHeldLockWaitsInMemoryForTheNext)
{
    SettingsSandbox sandbox;
    const QString path = sandbox.filePath();
    const std::string report = inAChild(
        [&path] {
            QLockFile held(path + ".lock");
            if (!held.tryLock(0))
                return std::string("no lock");
            SettingsProvider settings(makeQtSettingsRegistry);
            settings.WriteRegValue(regPath("Sub"), "1");
            std::string seen = settings.ReadRegValue(regPath("Sub")) + (QFileInfo::exists(path) ? "|file|" : "|none|");
            held.unlock();
            settings.WriteRegValue(regPath("Repeat"), "1");
            return seen + settings.ReadRegValue(regPath("Sub"));
        },
        std::chrono::seconds(10));
    EXPECT_EQ(report, "1|none|1");
    EXPECT_EQ(sandbox.keys(), "Repeat Sub");
    EXPECT_EQ(sandbox.value("Sub"), "1");
    EXPECT_EQ(sandbox.value("Repeat"), "1");
}

// A store in a child process that may write no file larger than limit
// bytes: a full disk, for the settings file and the scratch files alike.
// Reports the choices the window loaded before.
std::string loadThenStoreOnAFullDisk(rlim_t limit)
{
    return inAChild([limit] {
        SettingsProvider settings(makeQtSettingsRegistry);
        ControlModel controls;
        loadSettings(settings, controls);
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead
        const rlimit full{limit, limit};
        setrlimit(RLIMIT_FSIZE, &full);
        controls.setText1("/music/typed");
        storeAllSettings(settings, controls);
        return controls.Text1() + "|" + std::to_string(controls.ckSub());
    });
}

// A damaged file on a full disk: nothing is moved before its replacement is
// written, so the next start still finds the values it holds; once there is
// room, it is set aside as ever.
TEST(QtSettingsRegistry, DamagedFileOnAFullDiskKeepsItsValues)
{
    SettingsSandbox sandbox;
    const std::string held = "/music/" + std::string(2000, 'h');
    const QByteArray damaged = "[General]\nVersion=3.0.0\nSub=1\nPlayPath=" + QByteArray::fromStdString(held)
        + "\n" + QByteArray(64, '\0');
    sandbox.writeFile(damaged);

    // Room for a lock file, not for a settings file.
    EXPECT_EQ(loadThenStoreOnAFullDisk(1024), "/music/typed|1");
    EXPECT_EQ(namesIn(sandbox.folder()), "Orvane.conf");
    EXPECT_EQ(sandbox.fileBytes(), damaged);

    EXPECT_EQ(startLoadAndStoreInAChild(), held + "|1|/music/typed");
    QFile aside(sandbox.filePath() + ".bad");
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), damaged);
    EXPECT_EQ(sandbox.value("Sub"), "1");
    EXPECT_EQ(namesIn(sandbox.folder()), "Orvane.conf\nOrvane.conf.bad");
}

// A copy of the program killed in the middle of a store (here by going over
// a file size limit) leaves its new file half written beside the settings;
// the next store removes it, and nothing that is not its own.
TEST(QtSettingsRegistry, LeftoversOfAKilledStoreGoAtTheNextStore)
{
    SettingsSandbox sandbox;
    sandbox.setValue("PlayPath", "/music/" + std::string(4000, 'p'));
    const std::string killed = inAChild([] {
        const rlimit full{1024, 1024};
        setrlimit(RLIMIT_FSIZE, &full);
        SettingsProvider(makeQtSettingsRegistry).WriteRegValue(regPath("Sub"), "1");
        return std::string("not killed");
    });
    ASSERT_EQ(killed, "crashed");
    ASSERT_NE(namesIn(sandbox.folder()), "Orvane.conf\nOrvane.conf.lock") << "no copy was left";

    const QString folder = sandbox.folder();
    const char* const others[] = {"Orvane.conf.bad", "Orvane.conf.bad100", "Orvane.conf.backup",
                                  "Orvane.conf.XyZabc", "Orvane.conf.tmp-backup1", "Orvane.conf.tmp-ab",
                                  "Orvane.conf.tmp-AbC123.old", "Other.conf.tmp-AbC123"};
    for (const char* name : others) {
        QFile file(folder + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(name);
    }
    ASSERT_TRUE(QDir(folder).mkdir("Orvane.conf.tmp-Folder"));
    ASSERT_EQ(symlink("Orvane.conf.bad", QFile::encodeName(folder + "/Orvane.conf.tmp-Linked").constData()), 0);
    sandbox.setValue("Repeat", "1");
    EXPECT_EQ(namesIn(folder),
              "Orvane.conf\nOrvane.conf.XyZabc\nOrvane.conf.backup\nOrvane.conf.bad\nOrvane.conf.bad100\n"
              "Orvane.conf.tmp-AbC123.old\nOrvane.conf.tmp-Folder\nOrvane.conf.tmp-Linked\n"
              "Orvane.conf.tmp-ab\nOrvane.conf.tmp-backup1\nOther.conf.tmp-AbC123");
    EXPECT_EQ(sandbox.keys(), "PlayPath Repeat");
}

// The longest play path the window takes, in the letters QSettings writes
// longest, is read back whole: the file is not taken for a damaged one.
TEST(QtSettingsRegistry, LongestValuesAreReadBackWhole)
{
    const auto repeated = [](const std::string& unit, int times) {
        std::string text;
        for (int i = 0; i < times; ++i)
            text += unit;
        return text;
    };
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"three-byte letters", repeated("\xe0\xa4\xb9", 32767)},
        {"four-byte letters", repeated("\xf0\x9f\x8e\xb5", 16383) + "x"},
        {"control characters before hex digits", repeated("\x1f" "f", 16383) + "\x1f"},
        {"quotes and backslashes", repeated("\"\\", 16383) + "\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SettingsSandbox sandbox;
        applyFirstRunRule(sandbox.settings());
        sandbox.setValue("PlayPath", c.text);
        EXPECT_EQ(QString::fromStdString(c.text).size(), QSettingsRegistry::MaxValueLength);

        EXPECT_EQ(startLoadAndStoreInAChild(), c.text + "|0|/music/typed");
        EXPECT_EQ(namesIn(sandbox.folder()), "Orvane.conf");
    }
    // One letter more than the box takes is refused, and the stored value stays.
    SettingsSandbox sandbox;
    sandbox.setValue("PlayPath", "/music/kept");
    EXPECT_THROW(QSettingsRegistry().write(regPath("PlayPath"), repeated("x", 32768)), std::length_error);
    EXPECT_EQ(sandbox.value("PlayPath"), "/music/kept");
}

// A hand-edited file QSettings calls ill-formed (a "#" comment, a line
// without "=") keeps every value line of ours, as a damaged one does.
TEST(QtSettingsRegistry, IllFormedHandEditedFileKeepsItsValues)
{
    SettingsSandbox sandbox;
    const QByteArray edited = "[General]\n# my settings\nVersion=3.0.0\nSub=1\nPlayPath=/music/mine\nstray\n";
    sandbox.writeFile(edited);

    EXPECT_EQ(startLoadAndStoreInAChild(), "/music/mine|1|/music/typed");
    EXPECT_EQ(sandbox.keys(), FiveKeys);
    EXPECT_EQ(sandbox.value("Sub"), "1");
    QFile aside(sandbox.filePath() + ".bad");
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), edited);
}

} // namespace
} // namespace orvane
