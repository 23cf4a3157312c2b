// The place's file on Linux, and the atomic write it shares with the settings
// file.
#include "qt/atomic_file.h"
#include "qt/place_file.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <random>
#include <thread>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvane::test {
namespace {

QString namesIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names.join(u' ');
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(PlaceFile, SavedWholeBesideNothingElseAndForgotten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Orvane/place");
    PlaceFile file(path);
    EXPECT_EQ(file.load(), ""); // no folder yet
    file.save("first");
    file.save("second");
    EXPECT_EQ(file.load(), "second");
    EXPECT_EQ(namesIn(dir.filePath("Orvane")).toStdString(), "place");
    file.forget();
    EXPECT_EQ(file.load(), "");
    EXPECT_EQ(namesIn(dir.filePath("Orvane")).toStdString(), "");
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

TEST(AtomicFile, HeldLockLeavesTheOldFileAndGivesUpInTime)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("f");
    ASSERT_TRUE(writeFileAtomically(path, "old", 250));
    // Another copy holds the lock: a child, so that its lock is a live one.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        QLockFile lock(path + ".lock");
        lock.lock();
        const char byte = 1;
        [[maybe_unused]] ssize_t n = write(ready[1], &byte, 1);
        pause();
        _exit(0);
    }
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(writeFileAtomically(path, "new", 100));
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_EQ(bytesOf(path), "old");
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    // Its owner died: the lock is taken over at once.
    EXPECT_TRUE(writeFileAtomically(path, "new", 100));
    EXPECT_EQ(bytesOf(path), "new");
}

TEST(AtomicFile, LeftoversOfOurPatternOnlyGo)
{
    QTemporaryDir dir;
    for (const char* name : {"f.tmp-Ab3xYz", "f.tmp-Ab3xYz.lock", "f.tmp-abc", "f.tmp-Ab3xYz.old", "g.tmp-Ab3xYz"})
        writeBytes(dir.filePath(name), name);
    ASSERT_TRUE(writeFileAtomically(dir.filePath("f"), "text", 250));
    EXPECT_EQ(namesIn(dir.path()).toStdString(), "f f.tmp-Ab3xYz.old f.tmp-abc g.tmp-Ab3xYz");
}

// Kills during QLockFile's take-overs of a dead copy's lock leave a chain of
// take-over locks, with gaps; the next write clears the links whose owners
// are dead or that hold nobody yet, and leaves a live owner's alone.
TEST(AtomicFile, DeadTakeOverLocksGoHoweverDeepTheChain)
{
    QTemporaryDir dir;
    const pid_t dead = fork();
    if (dead == 0)
        _exit(0);
    waitpid(dead, nullptr, 0);
    const QByteArray deadOwner = QByteArray::number(dead) + "\norvane\nhost\n";
    writeBytes(dir.filePath("f.lock.rmlock"), deadOwner);
    writeBytes(dir.filePath("f.lock.rmlock.rmlock.rmlock"), deadOwner);
    writeBytes(dir.filePath("f.lock.rmlock.rmlock.rmlock.rmlock"), "");
    writeBytes(dir.filePath("g.lock.rmlock"), QByteArray::number(getpid()) + "\n");
    ASSERT_TRUE(writeFileAtomically(dir.filePath("f"), "text", 250));
    EXPECT_EQ(namesIn(dir.path()).toStdString(), "f g.lock.rmlock");

    writeBytes(dir.filePath("f.lock.rmlock.rmlock"), QByteArray::number(getpid()) + "\n");
    ASSERT_TRUE(writeFileAtomically(dir.filePath("f"), "text", 250));
    EXPECT_EQ(namesIn(dir.path()).toStdString(), "f f.lock.rmlock.rmlock g.lock.rmlock");
}

// A copy of the program killed at random instants while it stores its place
// over and over: every kill leaves a place that reads whole (or none before
// the first store), the settings beside it untouched; the next store clears
// what the kills left.
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
        const pid_t child = fork();
        if (child == 0) {
            PlaceFile file(path);
            for (std::int64_t i = 0;; ++i) {
                place.positionMs = i;
                try {
                    file.save(placeText(place));
                } catch (...) {
                }
            }
        }
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

} // namespace
} // namespace orvane::test
