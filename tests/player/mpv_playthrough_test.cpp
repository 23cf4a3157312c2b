// The player end to end on the real libmpv control (silent, untimed output)
// and a real folder tree: which files play, in which order, for each
// combination of Subdirectories and Repeat All.
#include "media/mpv_control.h"
#include "platform/qt_ui_host.h"
#include "player/player.h"
#include "support/mpv_fixtures.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>

namespace orvane::test {
namespace {

using Files = std::vector<std::string>;

class Playthrough : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* rel : {"b.mp3", "a.mp3", "Sub/c.mp3", "Sub/Deep/d.mp3", "Other/e.mp3"})
            tree.makeFile(rel, orvane::testing::sineMp3(0.1));
        tree.makeFolder("Empty");
        tree.makeFile("notes.txt", "not music");
    }

    // Plays with the given options, stopping after `limit` files when the
    // sequence does not end by itself. Returns the files mpv loaded.
    Files play(int sub, int repeat, std::size_t limit = 100)
    {
        ControlModel& c = player.controls();
        c.setText1(tree.path());
        c.setCkSub(sub);
        c.setCkRepeat(repeat);
        c.setOptName(true);
        player.cmdPlay_Click();
        while (c.enabled(Ctl::Timer1) && mpv.openedPaths().size() < limit) {
            player.Timer1_Timer();
            orvane::testing::spinUntil([&] { return player.DeviceReady == 1 || !c.enabled(Ctl::Timer1); }, 5000);
        }
        player.cmdStop_Click();
        return mpv.openedPaths();
    }

    std::string at(const char* rel) const { return tree.path(rel); }

    TempTree tree;
    MpvControl mpv{MpvControl::Output::NullUntimed};
    std::unique_ptr<FileSystem> fs = makeNativeFileSystem();
    QtUiHost ui{nullptr};
    Player player{mpv, *fs, ui};
};

TEST_F(Playthrough, PlayPathOnlyPlaysItsFilesOnceThenStops)
{
    EXPECT_EQ(play(0, 0), (Files{at("a.mp3"), at("b.mp3")}));
}

TEST_F(Playthrough, SingleFolderRepeatGoesRoundThePlayPath)
{
    EXPECT_EQ(play(0, 1, 5), (Files{at("a.mp3"), at("b.mp3"), at("a.mp3"), at("b.mp3"), at("a.mp3")}));
}

TEST_F(Playthrough, SubdirectoriesPlayEveryFolderInPathOrderThenStop)
{
    EXPECT_EQ(play(1, 0), (Files{at("a.mp3"), at("b.mp3"), at("Other/e.mp3"), at("Sub/c.mp3"),
                                 at("Sub/Deep/d.mp3")}));
}

TEST_F(Playthrough, TreeRepeatStartsOverWithThePlayPath)
{
    EXPECT_EQ(play(1, 1, 7), (Files{at("a.mp3"), at("b.mp3"), at("Other/e.mp3"), at("Sub/c.mp3"),
                                    at("Sub/Deep/d.mp3"), at("a.mp3"), at("b.mp3")}));
}

TEST_F(Playthrough, BrokenFilesArePassedOverAndPlayingGoesOn)
{
    tree.makeFile("a.mp3", "");                       // zero bytes
    tree.makeFile("aa.mp3", "this is not audio at all");
    tree.makeFile("ab.mp3", orvane::testing::sineMp3(0.1).substr(0, 300)); // truncated
    EXPECT_EQ(play(0, 0), (Files{at("a.mp3"), at("aa.mp3"), at("ab.mp3"), at("b.mp3")}));
}

} // namespace
} // namespace orvane::test
