// The place's file on Linux.
#include "qt/place_file.h"

#include "qt/file_checks.h"
#include "qt/qt_settings_registry.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <random>
#include <thread>

#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvane::test {
namespace {

TEST(PlaceFile, SavedWholeBesideNothingElseAndForgotten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Orvane/place");
    PlaceFile file(path);
    EXPECT_EQ(file.load(), ""); // no folder yet
    file.save("first");
    file.save("second");
    EXPECT_EQ(file.load(), "second");
    EXPECT_EQ(namesIn(dir.filePath("Orvane")).toStdString(), "place place.lock"); // the lock for as long as it runs
    file.forget();
    EXPECT_EQ(file.load(), "");
    EXPECT_EQ(namesIn(dir.filePath("Orvane")).toStdString(), "place.lock");
}

// One copy of the program keeps the place: another one running meanwhile
// neither stores it nor forgets it (its Stop), though it reads it; once the
// first has gone, even killed, the next copy keeps it.
TEST(PlaceFile, TheCopyHoldingItsLockKeepsThePlaceAnotherLeavesItAlone)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Orvane/place");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t first = fork();
    if (first == 0) {
        const std::unique_ptr<PlaceStore> store = makePlaceFile(path);
        if (store)
            store->save("first's");
        (void)!write(ready[1], store ? "y" : "n", 1);
        for (;;)
            pause(); // until killed, as a crash ends it
    }
    char owned = 0;
    ASSERT_EQ(read(ready[0], &owned, 1), 1);
    close(ready[0]);
    close(ready[1]);
    EXPECT_EQ(owned, 'y');
    EXPECT_EQ(makePlaceFile(path), nullptr) << "the first copy keeps it";
    PlaceFile second(path);
    EXPECT_FALSE(second.owns());
    EXPECT_THROW(second.save("second's"), std::runtime_error);
    EXPECT_THROW(second.forget(), std::runtime_error);
    EXPECT_EQ(second.load(), "first's");

    kill(first, SIGKILL);
    waitpid(first, nullptr, 0);
    const std::unique_ptr<PlaceStore> next = makePlaceFile(path);
    ASSERT_NE(next, nullptr) << "a dead copy's lock is taken over";
    EXPECT_EQ(next->load(), "first's");
    next->forget();
    EXPECT_EQ(next->load(), "");
}

// Only a regular file is the place: whatever else the user put there is
// neither read (a pipe would block) nor replaced nor removed.
TEST(PlaceFile, WhatIsNotARegularFileIsLeftAlone)
{
    QTemporaryDir dir;
    writeBytes(dir.filePath("target"), "the user's");
    ASSERT_EQ(symlink("target", QFile::encodeName(dir.filePath("place")).constData()), 0);
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    for (const char* name : {"place", "pipe", "folder"}) {
        PlaceFile file(dir.filePath(name));
        EXPECT_EQ(file.load(), "") << name;
        EXPECT_THROW(file.save("new"), std::runtime_error) << name;
        file.forget();
    }
    EXPECT_EQ(bytesOf(dir.filePath("target")), "the user's");
    EXPECT_EQ(namesIn(dir.path()).toStdString(), "folder pipe place target");
}

// A copy of the program killed at random instants while it stores its place
// over and over: every kill leaves a place that reads whole (or none before
// the first store), the settings beside it untouched; the next store clears
// what the kills left. Every other copy is killed only once a place is there,
// however slowly a busy machine lets it get so far.
TEST(PlaceFile, KilledAtAnyInstantLeavesAWholePlaceAndTheSettings)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("place");
    const QByteArray settings = "[General]\nPlayPath=/m\n";
    writeBytes(dir.filePath("Orvane.conf"), settings);

    Place place;
    place.playPath = "/m/" + std::string(20000, 'p'); // a write long enough to be cut
    place.folder = "/m";
    place.file = "/m/a.mp3";
    std::mt19937 random(20261208);
    int wholeAfterKill = 0;
    for (int round = 0; round < 30; ++round) {
        int saved[2];
        ASSERT_EQ(pipe(saved), 0);
        const pid_t child = fork();
        if (child == 0) {
            close(saved[0]);
            std::signal(SIGPIPE, SIG_IGN); // no one may be listening any more
            PlaceFile file(path);
            struct stat st;
            for (std::int64_t i = 0;; ++i) {
                place.positionMs = i;
                try {
                    file.save(placeText(place));
                } catch (...) {
                }
                if (saved[1] >= 0 && lstat(QFile::encodeName(path).constData(), &st) == 0) {
                    (void)!write(saved[1], "s", 1);
                    close(saved[1]);
                    saved[1] = -1;
                }
            }
        }
        close(saved[1]);
        if (round % 2 == 1) {
            pollfd there{saved[0], POLLIN, 0};
            ASSERT_EQ(poll(&there, 1, 60000), 1) << "round " << round << ": no place stored";
        }
        close(saved[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const std::string text = PlaceFile(path).load();
        if (text.empty())
            continue;
        const std::optional<Place> found = parsePlace(text);
        ASSERT_TRUE(found) << "round " << round;
        EXPECT_EQ(found->playPath, place.playPath);
        ++wholeAfterKill;
    }
    EXPECT_GT(wholeAfterKill, 0);
    EXPECT_EQ(bytesOf(dir.filePath("Orvane.conf")), settings);
    PlaceFile(path).save(placeText(place));
    EXPECT_EQ(namesIn(dir.path()).toStdString(), "Orvane.conf place");
}

constexpr const char* TracedFolderVariable = "ORVANE_TRACED_STORE_FOLDER";

// What the traced child does: the place stored twice and forgotten, a
// setting stored twice.
TEST(PlaceFileTraced, StoresUnderTrace)
{
    const QString folder = qEnvironmentVariable(TracedFolderVariable);
    if (folder.isEmpty())
        GTEST_SKIP() << "only as the traced child";
    PlaceFile place(folder + "/Orvane/place");
    place.save("first");
    place.save("second");
    place.forget();
    QSettingsRegistry settings(folder + "/Orvane.conf");
    settings.write("HKEY_CURRENT_USER\\Software\\Orvane\\Sub", "1");
    settings.write("HKEY_CURRENT_USER\\Software\\Orvane\\Sub", "0");
}

// After a power cut a renamed file holds its text, and a removed one stays
// removed: the new file is synced before its rename, the folder after the
// rename or the removal. Read from the system calls of a child under strace.
TEST(PlaceFile, ARenameFollowsTheSyncOfItsFileAndPrecedesTheSyncOfItsFolder)
{
    if (!qEnvironmentVariable(TracedFolderVariable).isEmpty())
        GTEST_SKIP() << "already the traced child";
    if (QStandardPaths::findExecutable("strace").isEmpty())
        GTEST_SKIP() << "strace is not installed";
    QTemporaryDir dir;
    const QString folder = QDir(dir.path()).canonicalPath();
    const QString log = folder + "/strace.log";
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(TracedFolderVariable, folder);
    env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0"); // no leak checks under ptrace
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start("strace", {"-f", "-qq", "-y", "-e", "trace=fsync,fdatasync,rename,renameat,renameat2,unlink,unlinkat",
                           "-o", log, QCoreApplication::applicationFilePath(),
                           "--gtest_filter=PlaceFileTraced.StoresUnderTrace"});
    ASSERT_TRUE(child.waitForFinished(120000));
    const QString output = QString::fromUtf8(child.readAll());
    ASSERT_EQ(child.exitCode(), 0) << output.toStdString();
    ASSERT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();

    // Each line: what was synced (the path of its descriptor), renamed (to
    // where) or removed, of the files of ours. strace pads a short process
    // number, and a short call before its result, with spaces.
    const QRegularExpression sync(R"re(^\d+\s+f(?:data)?sync\(\d+<([^>]*)>\)\s+= 0)re");
    const QRegularExpression rename(R"re(^\d+\s+rename(?:at2?)?\((?:[^,]*, )?"([^"]*)", (?:[^,]*, )?"([^"]*)".*\)\s+= 0)re");
    const QRegularExpression unlink(R"re(^\d+\s+unlink(?:at)?\((?:[^,]*, )?"([^"]*)".*\)\s+= 0)re");
    QStringList events;
    for (const QString& line : QString::fromUtf8(bytesOf(log)).split('\n')) {
        if (const auto m = sync.match(line); m.hasMatch())
            events << "sync " + m.captured(1);
        else if (const auto m = rename.match(line); m.hasMatch())
            events << "rename " + m.captured(1) + " " + m.captured(2);
        else if (const auto m = unlink.match(line); m.hasMatch())
            events << "unlink " + m.captured(1);
    }
    const QString place = folder + "/Orvane/place";
    const QString settings = folder + "/Orvane.conf";
    int renames = 0;
    int removals = 0;
    for (qsizetype i = 0; i < events.size(); ++i) {
        const QStringList e = events[i].split(' ');
        const bool ours = e[0] == "rename" && (e[2] == place || e[2] == settings);
        if (ours) {
            ++renames;
            EXPECT_TRUE(events.mid(0, i).contains("sync " + e[1])) << events.join('\n').toStdString();
        }
        if (e[0] == "unlink" && e[1] == place)
            ++removals;
        if (ours || (e[0] == "unlink" && e[1] == place)) {
            const QString target = e[0] == "rename" ? e[2] : e[1];
            EXPECT_TRUE(i + 1 < events.size() && events[i + 1] == "sync " + QFileInfo(target).absolutePath())
                << events.join('\n').toStdString();
        }
    }
    EXPECT_EQ(renames, 4);
    EXPECT_EQ(removals, 1);
}

} // namespace
} // namespace orvane::test
