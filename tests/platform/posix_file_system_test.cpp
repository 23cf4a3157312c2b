#ifndef _WIN32

#include "platform/file_system.h"
#include "support/temp_tree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <thread>

namespace orvane {
namespace {

using test::makeSocket;
using test::TempTree;
using ::testing::AnyOf;
using ::testing::Contains;
using ::testing::Pair;
using ::testing::UnorderedElementsAre;
using namespace std::chrono_literals;

std::vector<std::pair<std::string, bool>> namesAndFolderBits(const std::vector<DirEntry>& entries)
{
    std::vector<std::pair<std::string, bool>> out;
    for (const DirEntry& e : entries)
        out.emplace_back(e.name, e.isDirectory());
    return out;
}

// A folder holding one of every kind of entry a listing has to sort out.
class MixedFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree.makeFile("song.mp3");
        tree.makeFile("LOUD.MP3");
        tree.makeFile("Mixed.Mp3");
        tree.makeFile("x.mp3.txt");
        tree.makeFile("mp3");
        tree.makeFile("notes.txt");
        tree.makeFile(".hidden.mp3");
        tree.makeFile(".hidden folder/inside.mp3");
        tree.makeFolder("a.mp3");
        tree.makeFolder("sub");
        ASSERT_EQ(mkfifo(tree.path("pipe.mp3").c_str(), 0644), 0);
        makeSocket(tree.path("socket.mp3"));
        tree.makeLink("loop.mp3", ".");               // a link loop back to the folder itself
        tree.makeLink("folder link", tree.path("sub"));
        tree.makeLink("linked.mp3", "song.mp3");
        tree.makeLink("dangling.mp3", "nowhere.mp3");
    }

    TempTree tree;
    std::unique_ptr<FileSystem> fs = makeNativeFileSystem();
};

TEST_F(MixedFolder, AllListsOrdinaryFilesAndFoldersOnly)
{
    EXPECT_THAT(namesAndFolderBits(fs->listFolder(tree.path(), ListPattern::All)),
                UnorderedElementsAre(Pair("song.mp3", false), Pair("LOUD.MP3", false),
                                     Pair("Mixed.Mp3", false), Pair("x.mp3.txt", false),
                                     Pair("mp3", false), Pair("notes.txt", false),
                                     Pair("linked.mp3", false), Pair("a.mp3", true),
                                     Pair("sub", true)));
}

TEST_F(MixedFolder, Mp3PatternIgnoresCaseAndTakesOrdinaryFilesOnly)
{
    EXPECT_THAT(namesAndFolderBits(fs->listFolder(tree.path(), ListPattern::Mp3Files)),
                UnorderedElementsAre(Pair("song.mp3", false), Pair("LOUD.MP3", false),
                                     Pair("Mixed.Mp3", false), Pair("linked.mp3", false)));
}

TEST_F(MixedFolder, FirstMp3IsTheFirstMatchInListingOrder)
{
    std::string expected;
    for (const DirEntry& e : fs->listFolder(tree.path(), ListPattern::All)) {
        if (!e.isDirectory() && e.name.size() >= 4 && strcasecmp(e.name.c_str() + e.name.size() - 4, ".mp3") == 0) {
            expected = e.name;
            break;
        }
    }
    EXPECT_THAT(expected, AnyOf("song.mp3", "LOUD.MP3", "Mixed.Mp3", "linked.mp3"));
    EXPECT_EQ(fs->firstMp3(tree.path()), expected);
}

TEST_F(MixedFolder, TrailingSeparatorListsTheSameFolder)
{
    EXPECT_EQ(namesAndFolderBits(fs->listFolder(tree.path() + "/", ListPattern::All)),
              namesAndFolderBits(fs->listFolder(tree.path(), ListPattern::All)));
}

// As Windows matches "*.mp3": in any case, and with nothing before the dot.
TEST(Mp3Name, EndsInDotMp3InAnyCase)
{
    for (const char* name : {"a.mp3", "A.MP3", ".mp3", "x.Mp3"})
        EXPECT_TRUE(matchesMp3(name)) << name;
    for (const char* name : {"mp3", "a.mp3.txt", "a.mp4", "amp3", ""})
        EXPECT_FALSE(matchesMp3(name)) << name;
}

TEST(PosixFileSystem, FolderWithoutOrdinaryMp3GivesNoFirstMp3)
{
    TempTree tree;
    tree.makeFile(".hidden.mp3");
    tree.makeFolder("folder.mp3");
    tree.makeFile("song.wav");
    ASSERT_EQ(mkfifo(tree.path("pipe.mp3").c_str(), 0644), 0);
    auto fs = makeNativeFileSystem();
    EXPECT_EQ(fs->firstMp3(tree.path()), "");
    EXPECT_TRUE(fs->listFolder(tree.path(), ListPattern::Mp3Files).empty());
}

TEST(PosixFileSystem, NamesAreKeptByteForByte)
{
    TempTree tree;
    const std::string latin1 = "caf\xe9 \xff\xfe.mp3";
    const std::string folder = "\xc0\xff dir";
    tree.makeFile(latin1, "x");
    tree.makeFolder(folder);
    tree.makeFile(folder + "/\x80.MP3");
    auto fs = makeNativeFileSystem();

    EXPECT_THAT(namesAndFolderBits(fs->listFolder(tree.path(), ListPattern::All)),
                UnorderedElementsAre(Pair(latin1, false), Pair(folder, true)));
    EXPECT_EQ(fs->firstMp3(tree.path()), latin1);
    EXPECT_EQ(fs->firstMp3(tree.path(folder)), "\x80.MP3");
    EXPECT_TRUE(fs->folderExists(tree.path(folder)));
    EXPECT_NO_THROW(fs->dateCreated(tree.path() + "/" + latin1));
}

TEST(PosixFileSystem, RootFolderKeepsItsSeparator)
{
    auto fs = makeNativeFileSystem();
    EXPECT_EQ(fs->separator(), '/');
    EXPECT_TRUE(fs->folderExists("/"));
    EXPECT_THAT(namesAndFolderBits(fs->listFolder("/", ListPattern::All)), Contains(Pair("tmp", true)));
}

TEST(PosixFileSystem, FolderExistsOnlyForFolders)
{
    TempTree tree;
    tree.makeFolder("music");
    tree.makeFile("song.mp3");
    tree.makeLink("link to music", tree.path("music"));
    tree.makeLink("link to song", tree.path("song.mp3"));
    auto fs = makeNativeFileSystem();

    EXPECT_TRUE(fs->folderExists(tree.path("music")));
    EXPECT_TRUE(fs->folderExists(tree.path("music") + "/"));
    EXPECT_TRUE(fs->folderExists(tree.path("link to music")));
    EXPECT_FALSE(fs->folderExists(tree.path("song.mp3")));
    EXPECT_FALSE(fs->folderExists(tree.path("link to song")));
    EXPECT_FALSE(fs->folderExists(tree.path("missing")));
    EXPECT_FALSE(fs->folderExists(""));
    EXPECT_FALSE(fs->folderExists(tree.path("music") + std::string(1, '\0') + "x"));
}

TEST(PosixFileSystem, UnlistableFoldersThrow)
{
    TempTree tree;
    tree.makeFile("song.mp3");
    auto fs = makeNativeFileSystem();
    for (const std::string& bad : {tree.path("missing"), tree.path("song.mp3"), std::string(),
                                   tree.path() + std::string(1, '\0')}) {
        EXPECT_THROW(fs->listFolder(bad, ListPattern::All), FileSystemError) << bad;
        EXPECT_THROW(fs->listFolder(bad, ListPattern::Mp3Files), FileSystemError) << bad;
        EXPECT_THROW(fs->firstMp3(bad), FileSystemError) << bad;
    }
}

// Root reads every folder, so the refusal is shown by a child that gives up
// its privileges first.
TEST(PosixFileSystem, FolderWithoutReadPermissionThrows)
{
    TempTree tree;
    tree.makeFile("locked/song.mp3");
    tree.setPermissions("locked", std::filesystem::perms::none);

    auto refused = [&] {
        auto fs = makeNativeFileSystem();
        try {
            fs->firstMp3(tree.path("locked"));
        } catch (const FileSystemError&) {
            try {
                fs->listFolder(tree.path("locked"), ListPattern::All);
            } catch (const FileSystemError&) {
                return true;
            }
        }
        return false;
    };
    if (geteuid() != 0) {
        EXPECT_TRUE(refused());
        return;
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        _exit(refused() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2)
        GTEST_SKIP() << "cannot drop privileges here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A folder that fails as it is read (a share gone, a disk error) throws
// rather than give a short listing. A system-call filter in a child process
// makes every read of a folder's entries fail.
TEST(PosixFileSystem, AFolderThatFailsAsItIsReadThrows)
{
    TempTree tree;
    tree.makeFile("song.mp3");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sock_filter filter[] = {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                                BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_getdents64, 0, 1),
                                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
                                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
        const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
            _exit(100);
        auto fs = makeNativeFileSystem();
        int thrown = 0;
        try {
            fs->listFolder(tree.path(), ListPattern::All);
        } catch (const FileSystemError&) {
            ++thrown;
        }
        try {
            fs->firstMp3(tree.path());
        } catch (const FileSystemError&) {
            ++thrown;
        }
        _exit(thrown == 2 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 100)
        GTEST_SKIP() << "no system-call filter here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

bool keepsBirthTime(const std::string& path)
{
    struct statx stx;
    return statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &stx) == 0 && (stx.stx_mask & STATX_BTIME);
}

TEST(PosixFileSystem, DateCreatedIsTheBirthTimeOrElseTheModificationTime)
{
    TempTree tree;
    const auto before = std::chrono::system_clock::now();
    const std::string older = tree.makeFile("older.mp3");
    std::this_thread::sleep_for(20ms);
    const std::string newer = tree.makeFile("newer.mp3");
    const auto longAgo = std::chrono::system_clock::time_point(std::chrono::seconds(1000000000)) + 123456789ns;
    tree.setModified("older.mp3", longAgo + 1h);
    tree.setModified("newer.mp3", longAgo);
    auto fs = makeNativeFileSystem();

    if (keepsBirthTime(older)) {
        // Touching the modification time must not move the creation date.
        EXPECT_LT(fs->dateCreated(older), fs->dateCreated(newer));
        EXPECT_GE(fs->dateCreated(older), before - 2s); // file-system clocks are coarser
        EXPECT_LE(fs->dateCreated(newer), std::chrono::system_clock::now() + 2s);
    } else {
        EXPECT_EQ(fs->dateCreated(older), longAgo + 1h);
        EXPECT_EQ(fs->dateCreated(newer), longAgo);
    }
}

// Dates the clock cannot hold need a file system without birth times, where
// the modification time, which anyone may set, stands for the creation date:
// ramfs, mounted in a private user and mount namespace of a child process.
// The child's exit code says which check failed.
int checkClampedDates(const std::string& mountPoint)
{
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
        return 100;
    auto writeFile = [](const char* path, const std::string& text) {
        const int fd = open(path, O_WRONLY);
        const bool ok = fd >= 0 && write(fd, text.data(), text.size()) == ssize_t(text.size());
        if (fd >= 0)
            close(fd);
        return ok;
    };
    writeFile("/proc/self/setgroups", "deny");
    if (!writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1")
        || !writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
        return 100;
    mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    if (mount("none", mountPoint.c_str(), "ramfs", 0, nullptr) != 0)
        return 100;
    const std::pair<const char*, std::int64_t> files[] = {
        {"/1500.mp3", -14'831'769'600}, {"/2001.mp3", 1'000'000'000}, {"/2400.mp3", 13'569'465'600},
        {"/2262.mp3", 9'223'372'036},  // the clock's last whole second
        {"/1677.mp3", -9'223'372'036}}; // and its first
    for (const auto& [name, seconds] : files) {
        const std::string path = mountPoint + name;
        const int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0644);
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        if (fd < 0 || futimens(fd, times) != 0)
            return 100;
        close(fd);
    }
    if (keepsBirthTime(mountPoint + files[0].first))
        return 100;
    auto fs = makeNativeFileSystem();
    const DateTime old = fs->dateCreated(mountPoint + files[0].first);
    const DateTime now = fs->dateCreated(mountPoint + files[1].first);
    const DateTime future = fs->dateCreated(mountPoint + files[2].first);
    if (old != DateTime(DateTime::duration::min()))
        return 1;
    if (future != DateTime(DateTime::duration::max()))
        return 2;
    const DateTime last = fs->dateCreated(mountPoint + files[3].first);
    const DateTime first = fs->dateCreated(mountPoint + files[4].first);
    if (!(old < first && first < now && now < last && last < future))
        return 3;
    return 0;
}

TEST(PosixFileSystem, DatesBeyondTheClocksRangeAreClampedInOrder)
{
    TempTree tree;
    const std::string mountPoint = tree.makeFolder("ram");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(checkClampedDates(mountPoint));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the date conversion crashed";
    const int failed = WEXITSTATUS(status);
    if (failed == 100)
        GTEST_SKIP() << "no private ramfs here";
    EXPECT_EQ(failed, 0) << (failed == 1   ? "a date before 1677 is not the clock's first"
                             : failed == 2 ? "a date after 2262 is not the clock's last"
                                           : "dates out of order");
}

TEST(PosixFileSystem, DateCreatedOfAMissingFileThrows)
{
    TempTree tree;
    const std::string gone = tree.makeFile("gone.mp3");
    tree.remove("gone.mp3");
    tree.makeLink("dangling.mp3", gone);
    auto fs = makeNativeFileSystem();
    EXPECT_THROW(fs->dateCreated(gone), FileSystemError);
    EXPECT_THROW(fs->dateCreated(tree.path("dangling.mp3")), FileSystemError);
    EXPECT_THROW(fs->dateCreated(""), FileSystemError);
    EXPECT_THROW(fs->dateCreated(tree.path() + std::string(1, '\0') + "x"), FileSystemError);
}

} // namespace
} // namespace orvane

#endif // _WIN32
