// The place's file on Linux.
#include "qt/place_file.h"

#include "qt/file_checks.h"

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

} // namespace
} // namespace orvane::test
