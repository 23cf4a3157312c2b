#include "qt/mpv_control.h"
#include "qt/mpv_fixtures.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

namespace orvane {
namespace {

using testing::MpvTempDir;
using testing::spinFor;
using testing::spinUntil;
using testing::writeBytes;
using testing::writeSineMp3;

// When set, the hostile-file tests use this prepared folder instead of making
// their own: a tracing parent made it and watches what the player opens.
constexpr const char* kPreparedFolderVariable = "ORVANE_MPV_HOSTILE_FOLDER";

// Files whose content names another file (or a network address) in every
// form mpv or ffmpeg know; none of them may lead the player anywhere.
struct Referrer {
    const char* name;
    std::string content;
};

std::vector<Referrer> referrers(const std::string& target)
{
    return {
        {"m3u.mp3", "#EXTM3U\n#EXTINF:1,x\n" + target + "\n"},
        {"m3u-relative.mp3", "#EXTM3U\ntarget.mp3\n"},
        {"plain-list.mp3", target + "\n" + target + "\n"},
        {"pls.mp3", "[playlist]\nNumberOfEntries=1\nFile1=" + target + "\n"},
        {"edl.mp3", "# mpv EDL v0\n" + target + "\n"},
        {"edl-relative.mp3", "# mpv EDL v0\ntarget.mp3,0,0.1\n"},
        {"mf.mp3", "mf://" + target + "\n"},
        {"urls.mp3", "http://127.0.0.1:9/a.mp3\nhttps://127.0.0.1:9/b.mp3\n"},
        {"ffconcat.mp3", "ffconcat version 1.0\nfile " + target + "\n"},
        {"hls.mp3", "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:1\n#EXTINF:1.0,\n" + target
                        + "\n#EXT-X-ENDLIST\n"},
        {"cue.mp3", "FILE \"" + target + "\" MP3\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"},
        {"ref.mp3", "[Reference]\nRef1=" + target + "\n"},
        {"asx.mp3", "<ASX version=\"3.0\"><Entry><Ref href=\"" + target + "\"/></Entry></ASX>\n"},
        {"sdp.mp3", "v=0\r\no=- 0 0 IN IP4 127.0.0.1\r\ns=x\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
                    "m=audio 5004 RTP/AVP 14\r\n"},
    };
}

// The prepared folder: the target the referrers point at, the referrers, a
// folder named like an MP3 file, and a good song with the side files mpv
// would pick up by name (subtitles, cover art).
struct HostileFolder {
    explicit HostileFolder(std::string folder) : path(std::move(folder)) {}

    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string target() const { return file("target.mp3"); }
    std::string folderSong() const { return file("folder.mp3/inner.mp3"); }
    std::string song() const { return file("song.mp3"); }
    std::vector<std::string> neverOpened() const
    {
        return {target(), folderSong(), file("song.srt"), file("song.jpg"), file("cover.jpg"),
                file("song.mka")};
    }

    void create() const
    {
        writeSineMp3(target(), 0.2);
        for (const auto& referrer : referrers(target()))
            writeBytes(file(referrer.name), referrer.content);
        std::filesystem::create_directory(file("folder.mp3"));
        writeSineMp3(folderSong(), 0.2);
        writeSineMp3(song(), 0.2);
        writeBytes(file("song.srt"), "1\n00:00:00,000 --> 00:00:01,000\nhello\n");
        writeSineMp3(file("song.mka"), 0.2);
        writeBytes(file("song.jpg"), "\xff\xd8\xff\xe0");
        writeBytes(file("cover.jpg"), "\xff\xd8\xff\xe0");
    }

    std::string path;
};

// One control on the untimed null output, each file played to its single
// completion, which is answered with "Close" as the player does.
class MpvPlayOnceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(control.isReady());
        control.setDoneHandler([this](int code) {
            codes.push_back(code);
            control.setCommand("Close");
        });
    }

    // Plays the file to its completion; the completion codes it got.
    std::vector<int> play(const std::string& path, const std::function<void()>& betweenOpenAndPlay = {})
    {
        codes.clear();
        control.setFileName(path);
        control.setCommand("Open");
        if (betweenOpenAndPlay)
            betweenOpenAndPlay();
        control.setCommand("Play");
        spinUntil([&] { return !codes.empty(); });
        spinFor(100);
        return codes;
    }

    MpvControl control{MpvControl::Output::NullUntimed};
    std::vector<int> codes;
};

class MpvHostileFileTest : public MpvPlayOnceTest {
protected:
    void SetUp() override
    {
        MpvPlayOnceTest::SetUp();
        if (const char* prepared = std::getenv(kPreparedFolderVariable)) {
            folder = std::make_unique<HostileFolder>(prepared);
        } else {
            own = std::make_unique<MpvTempDir>();
            folder = std::make_unique<HostileFolder>(own->path());
            folder->create();
        }
    }

    std::unique_ptr<MpvTempDir> own;
    std::unique_ptr<HostileFolder> folder;
};

TEST_F(MpvHostileFileTest, ReferringFilesFailAndOpenNothingElse)
{
    std::vector<std::string> played;
    for (const auto& referrer : referrers(folder->target())) {
        SCOPED_TRACE(referrer.name);
        const std::string path = folder->file(referrer.name);
        EXPECT_EQ(play(path), std::vector<int>{MMControl::NotifyFailure});
        played.push_back(path);
    }
    EXPECT_EQ(play(folder->file("folder.mp3")), std::vector<int>{MMControl::NotifyFailure});
    played.push_back(folder->file("folder.mp3"));
    EXPECT_EQ(control.openedPaths(), played);
}

TEST_F(MpvHostileFileTest, SongWithSideFilesPlaysAlone)
{
    EXPECT_EQ(play(folder->song()), std::vector<int>{MMControl::NotifySuccessful});
    EXPECT_EQ(control.openedPaths(), std::vector<std::string>{folder->song()});
}

// Runs the tests above in a child under strace and reads every file and
// socket the child touched: nothing the hostile files name may appear.
TEST(MpvHostileFileTraceTest, TracedPlayerNeverTouchesNamedFiles)
{
    if (std::getenv(kPreparedFolderVariable))
        GTEST_SKIP() << "already the traced child";
    if (QStandardPaths::findExecutable("strace").isEmpty())
        GTEST_SKIP() << "strace is not installed";

    MpvTempDir dir;
    HostileFolder folder(dir.path());
    folder.create();
    const std::string log = dir.path() + ".strace";

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kPreparedFolderVariable, QString::fromStdString(folder.path));
    // The leak checker cannot run under ptrace; this process checks for leaks.
    env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start("strace", {"-f", "-qq", "-e", "trace=open,openat,connect,sendto", "-o",
                           QString::fromStdString(log), QCoreApplication::applicationFilePath(),
                           "--gtest_filter=MpvHostileFileTest.*"});
    ASSERT_TRUE(child.waitForFinished(120000));
    const std::string output = child.readAll().toStdString();
    ASSERT_EQ(child.exitCode(), 0) << output;
    ASSERT_NE(output.find("[  PASSED  ] 2 tests"), std::string::npos) << output;

    const std::string trace = testing::readBytes(log);
    std::filesystem::remove(log);
    // The trace does see the player's own file opens.
    EXPECT_NE(trace.find("\"" + folder.file("m3u.mp3") + "\""), std::string::npos);
    EXPECT_NE(trace.find("\"" + folder.song() + "\""), std::string::npos);

    for (const auto& path : folder.neverOpened())
        EXPECT_EQ(trace.find("\"" + path + "\""), std::string::npos) << path;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_EQ(line.find("AF_INET"), std::string::npos) << line;
        EXPECT_EQ(line.find("/127.0.0.1"), std::string::npos) << line;
    }
}

class MpvUndecodableFileTest : public MpvPlayOnceTest {
protected:
    MpvTempDir dir;
};

// Beyond the contract's unplayable files: noise, subtitles, and a file that
// goes between "Open" and "Play".
TEST_F(MpvUndecodableFileTest, EachGivesExactlyOneFailure)
{
    const std::string& song = testing::sineMp3(0.3);
    std::string noise;
    for (unsigned i = 0, x = 12345; i < 6000; ++i, x = x * 1103515245 + 12345)
        noise.push_back(static_cast<char>(x >> 16));
    const std::vector<std::pair<std::string, std::string>> files = {
        {"noise.mp3", noise},
        {"subtitles.mp3", "1\n00:00:00,000 --> 00:00:01,000\nhello\n"},
    };
    for (const auto& [name, content] : files) {
        SCOPED_TRACE(name);
        writeBytes(dir.file(name), content);
        EXPECT_EQ(play(dir.file(name)), std::vector<int>{MMControl::NotifyFailure});
    }

    SCOPED_TRACE("vanished");
    writeBytes(dir.file("vanished.mp3"), song);
    EXPECT_EQ(play(dir.file("vanished.mp3"), [&] { std::filesystem::remove(dir.file("vanished.mp3")); }),
              std::vector<int>{MMControl::NotifyFailure});

    // A good file still plays afterwards.
    writeBytes(dir.file("good.mp3"), song);
    EXPECT_EQ(play(dir.file("good.mp3")), std::vector<int>{MMControl::NotifySuccessful});
}

} // namespace
} // namespace orvane
