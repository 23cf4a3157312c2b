#include "qt/mpv_control.h"
#include "qt/mpv_fixtures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace orvane {
namespace {

using testing::MpvTempDir;
using testing::sineMp3;
using testing::spinUntil;
using testing::writeBytes;

std::string syncsafe(std::size_t n)
{
    return {static_cast<char>((n >> 21) & 0x7f), static_cast<char>((n >> 14) & 0x7f),
            static_cast<char>((n >> 7) & 0x7f), static_cast<char>(n & 0x7f)};
}

// An ID3v2.4 tag with UTF-8 text frames.
std::string id3(const std::string& title, const std::string& artist, const std::string& album)
{
    std::string frames;
    const auto frame = [&](const char* id, const std::string& text) {
        const std::string body = '\x03' + text;
        frames += id + syncsafe(body.size()) + std::string(2, '\0') + body;
    };
    frame("TIT2", title);
    frame("TPE1", artist);
    frame("TALB", album);
    return std::string("ID3\x04\x00\x00", 6) + syncsafe(frames.size()) + frames;
}

class MpvNowPlayingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(control.isReady());
        control.nowPlayingChanged().connect([this] { ++changes; });
    }

    void play(const std::string& path)
    {
        control.setFileName(path);
        control.setCommand("Open");
        control.setCommand("Play");
    }

    MpvTempDir dir;
    MpvControl control{MpvControl::Output::NullTimed};
    int changes = 0;
};

TEST_F(MpvNowPlayingTest, TagsAndLengthOfTheFileHeardUntilItCloses)
{
    const std::string path = dir.file("tagged.mp3");
    writeBytes(path, id3("Caf\xc3\xa9 Song", "The Band", "First Album") + sineMp3(3.0));
    EXPECT_EQ(control.nowPlaying(), MMControl::NowPlaying{});

    play(path);
    EXPECT_EQ(control.nowPlaying().path, path) << "known from the Play on";
    EXPECT_GT(control.nowPlaying().serial, 0u);
    ASSERT_TRUE(spinUntil([&] { return control.nowPlaying().lengthUs >= 0; }));
    const MMControl::NowPlaying heard = control.nowPlaying();
    EXPECT_EQ(heard.title, "Caf\xc3\xa9 Song");
    EXPECT_EQ(heard.artist, "The Band");
    EXPECT_EQ(heard.album, "First Album");
    EXPECT_NEAR(static_cast<double>(heard.lengthUs), 3e6, 0.1e6);
    EXPECT_GE(changes, 2) << "once at Play, once with the tags";

    const int before = changes;
    control.setCommand("pause");
    EXPECT_EQ(control.nowPlaying(), heard) << "a paused file is still the one heard";

    control.setCommand("Close");
    EXPECT_EQ(control.nowPlaying(), MMControl::NowPlaying{});
    EXPECT_EQ(changes, before + 1);
}

TEST_F(MpvNowPlayingTest, EachPlayIsANewTrackAndAnUntaggedFileHasNoTags)
{
    const std::string path = dir.file("plain.mp3");
    writeBytes(path, sineMp3(3.0));
    play(path);
    ASSERT_TRUE(spinUntil([&] { return control.nowPlaying().lengthUs >= 0; }));
    const MMControl::NowPlaying first = control.nowPlaying();
    EXPECT_EQ(first.title, "");
    EXPECT_EQ(first.artist, "");
    EXPECT_EQ(first.album, "");

    control.setCommand("Close");
    play(path);
    EXPECT_EQ(control.nowPlaying().path, path);
    EXPECT_NE(control.nowPlaying().serial, first.serial) << "the same file again is another track";
}

TEST_F(MpvNowPlayingTest, NothingIsHeardAfterTheFileEndsByItself)
{
    MpvControl fast(MpvControl::Output::NullUntimed);
    int done = 0;
    fast.setDoneHandler([&](int) { ++done; });
    const std::string path = dir.file("short.mp3");
    writeBytes(path, sineMp3(0.3));
    fast.setFileName(path);
    fast.setCommand("Open");
    fast.setCommand("Play");
    ASSERT_TRUE(spinUntil([&] { return done == 1; }));
    EXPECT_EQ(fast.nowPlaying(), MMControl::NowPlaying{});
}

} // namespace
} // namespace orvane
