// The atomic write the settings file and the place share: the lock, the new
// file put in place, the leftovers, and what is kept of a damaged file.
#include "qt/atomic_file.h"

#include "qt/file_checks.h"

#include <QLockFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

namespace orvane::test {
namespace {

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
    EXPECT_FALSE(removeFileAtomically(path, 100));
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

// A file's lines as salvage reads them: each shown to the caller in order
// (here: a heading turns keeping on or off), the kept ones whole and text.
TEST(AtomicFile, SalvageKeepsWholeTextLinesOnly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("f");
    writeBytes(path, QByteArray("  keep one  \n"
                                "keep fifteen ok\n"
                                "keep sixteen 016\n" // as long as a line may be
                                "keep seventeen no\n" // longer than any we write: not cut down
                                "keep after\n")
                         + "keep " + QByteArray(300, 'x') + "\n" + QByteArray("keep two\0\n", 10)
                         + "keep \xff\xfe\n" "drop\n" "[off]\n" "keep hidden\n" "[on]\n" "keep last");
    bool on = true;
    const QByteArray kept = salvageLines(path, 16, [&on](const QByteArray& line) {
        if (line.startsWith('['))
            on = line == "[on]";
        return on && line.startsWith("keep");
    });
    EXPECT_EQ(kept.toStdString(), "keep one\nkeep fifteen ok\nkeep sixteen 016\nkeep after\nkeep last\n");
    EXPECT_EQ(salvageLines(dir.filePath("missing"), 16, [](const QByteArray&) { return true; }), "");
}

// A damaged file goes aside, beside any set aside before, only once its
// replacement is written; a replacement that fails leaves everything as it was.
TEST(AtomicFile, DamagedFileIsKeptAsideOnceItsReplacementIsWritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("f");
    writeBytes(path + ".bad", "earlier");
    writeBytes(path, "damaged");
    EXPECT_FALSE(replaceFile(path, 250, [](ScratchFile& scratch) -> std::optional<Replacing> {
        scratch.create("half");
        return std::nullopt;
    }));
    EXPECT_EQ(namesIn(dir.path()).toStdString(), "f f.bad");
    EXPECT_EQ(bytesOf(path), "damaged");
    EXPECT_TRUE(replaceFile(path, 250, [](ScratchFile& scratch) -> std::optional<Replacing> {
        if (!scratch.create("new"))
            return std::nullopt;
        return Replacing{std::nullopt, false, true};
    }));
    EXPECT_EQ(bytesOf(path), "new");
    EXPECT_EQ(bytesOf(path + ".bad"), "earlier");
    EXPECT_EQ(bytesOf(path + ".bad2"), "damaged");
    EXPECT_EQ(namesIn(dir.path()).toStdString(), "f f.bad f.bad2");
}

TEST(AtomicFile, WholeFileIsReadUpToItsLimit)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("f");
    writeBytes(path, "1234");
    EXPECT_EQ(readWholeFile(path, 4), QByteArray("1234"));
    EXPECT_EQ(readWholeFile(path, 3), std::nullopt);
    EXPECT_EQ(readWholeFile(dir.filePath("missing"), 4), std::nullopt);
    writeBytes(path, "");
    EXPECT_EQ(readWholeFile(path, 0), QByteArray(""));
}

} // namespace
} // namespace orvane::test
