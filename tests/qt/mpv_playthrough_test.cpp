// The player end to end on the real libmpv control and a real folder tree:
// which files play, in which order, for each combination of Subdirectories
// and Repeat All.
#include "mpv_player_fixture.h"

namespace orvane::test {
namespace {

class Playthrough : public MpvPlayerFixture {
protected:
    void SetUp() override
    {
        for (const char* rel : {"b.mp3", "a.mp3", "Sub/c.mp3", "Sub/Deep/d.mp3", "Other/e.mp3"})
            music(rel);
        tree.makeFolder("Empty");
        tree.makeFile("notes.txt", "not music");
    }

    Files play(int sub, int repeat, std::size_t limit = 100)
    {
        options(tree.path(), sub, repeat);
        return playAll(limit);
    }
};

TEST_F(Playthrough, PlayPathOnlyPlaysItsFilesOnceThenStops)
{
    EXPECT_EQ(play(0, 0), (Files{at("a.mp3"), at("b.mp3")}));
    EXPECT_TRUE(ended);
}

TEST_F(Playthrough, SingleFolderRepeatGoesRoundThePlayPath)
{
    EXPECT_EQ(play(0, 1, 5), (Files{at("a.mp3"), at("b.mp3"), at("a.mp3"), at("b.mp3"), at("a.mp3")}));
}

TEST_F(Playthrough, SubdirectoriesPlayEveryFolderInPathOrderThenStop)
{
    EXPECT_EQ(play(1, 0), (Files{at("a.mp3"), at("b.mp3"), at("Other/e.mp3"), at("Sub/c.mp3"),
                                 at("Sub/Deep/d.mp3")}));
    EXPECT_TRUE(ended);
}

TEST_F(Playthrough, TreeRepeatStartsOverWithThePlayPath)
{
    EXPECT_EQ(play(1, 1, 7), (Files{at("a.mp3"), at("b.mp3"), at("Other/e.mp3"), at("Sub/c.mp3"),
                                    at("Sub/Deep/d.mp3"), at("a.mp3"), at("b.mp3")}));
}

TEST_F(Playthrough, DateOrderFollowsCreationWithinEachFolder)
{
    // Birth times cannot be set, so the files are made one after another.
    for (const char* rel : {"Dated/z.mp3", "Dated/x.mp3", "Dated/y.mp3"}) {
        music(rel);
        orvane::testing::spinFor(20);
    }
    options(at("Dated"), 0, 0, true);
    EXPECT_EQ(playAll(), (Files{at("Dated/z.mp3"), at("Dated/x.mp3"), at("Dated/y.mp3")}));
}

} // namespace
} // namespace orvane::test
