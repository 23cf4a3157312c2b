// What the player does with the trees nobody curated: every case plays a real
// tree through the real libmpv control and states what must happen.
#include "mpv_player_fixture.h"

#include <QDir>

#include <filesystem>
#include <set>
#include <string>

namespace orvane::test {
namespace {

using FaultMatrix = MpvPlayerFixture;

TEST_F(FaultMatrix, BrokenFilesArePassedOverAndPlayingGoesOn)
{
    music("a.mp3");
    tree.makeFile("b-empty.mp3", "");
    tree.makeFile("c-text.mp3", "this is not audio at all\n");
    tree.makeFile("d-truncated.mp3", orvane::testing::sineMp3(0.05).substr(0, 200));
    std::string corrupt = orvane::testing::sineMp3(0.05);
    for (std::size_t i = 64; i < corrupt.size(); i += 7)
        corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5a);
    tree.makeFile("e-corrupt.mp3", corrupt);
    tree.makeFile("f-random.mp3", std::string(4096, '\x7f'));
    music("g.mp3");
    options(tree.path(), 0, 0);
    const Files played = playAll();
    EXPECT_TRUE(ended);
    // A broken file already found broken by its check is not loaded at all.
    EXPECT_EQ(played.front(), at("a.mp3"));
    EXPECT_EQ(played.back(), at("g.mp3"));
}

std::set<std::string> threadsOfThisProcess()
{
    std::set<std::string> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ids.insert(entry.path().filename().string());
    return ids;
}

// Repeating a folder in which nothing plays tries its files without end: once
// each has been found broken, trying it again hands it to no media engine and
// starts no thread, until the file changes.
TEST_F(FaultMatrix, UnchangedBrokenFilesTriedAgainStartNoEngineThreads)
{
    tree.makeFile("a-empty.mp3", "");
    tree.makeFile("b-text.mp3", "this is not audio at all\n");
    tree.makeFile("c-random.mp3", std::string(4096, '\x7f'));
    options(tree.path(), 0, 1);
    player.cmdPlay_Click();
    for (int i = 0; i < 8; ++i)
        step(); // two passes: each file is found broken once
    const std::size_t loads = mpv.openedPaths().size();
    const std::set<std::string> before = threadsOfThisProcess();
    std::set<std::string> seen = before;
    for (int i = 0; i < 40; ++i) {
        step();
        const std::set<std::string> now = threadsOfThisProcess();
        seen.insert(now.begin(), now.end());
    }
    EXPECT_EQ(mpv.openedPaths().size(), loads);
    EXPECT_EQ(seen, before);

    // A file that changes is tried afresh, and plays once it is music.
    music("b-text.mp3", 0.05);
    for (int i = 0; i < 8; ++i)
        step();
    player.cmdStop_Click();
    ASSERT_GT(mpv.openedPaths().size(), loads);
    EXPECT_EQ(mpv.openedPaths().back(), at("b-text.mp3"));
}

TEST_F(FaultMatrix, FileDeletedOrReplacedWhilePlayingDoesNotStopTheSequence)
{
    music("a.mp3", 0.3);
    music("b.mp3", 0.3);
    music("c.mp3");
    options(tree.path(), 0, 0);
    player.cmdPlay_Click();
    player.Timer1_Timer(); // a is open
    tree.remove("a.mp3");
    step();
    step(); // b is open
    tree.makeFile("b.mp3", "replaced by something else");
    for (int i = 0; i < 20 && player.controls().enabled(Ctl::Timer1); ++i)
        step();
    EXPECT_EQ(mpv.openedPaths(), (Files{at("a.mp3"), at("b.mp3"), at("c.mp3")}));
    EXPECT_FALSE(player.controls().enabled(Ctl::Timer1));
}

TEST_F(FaultMatrix, FileDeletedBetweenListingAndBuildIsLeftOut)
{
    music("a.mp3");
    music("b.mp3");
    music("c.mp3");
    options(tree.path(), 0, 0);
    player.cmdPlay_Click(); // lists the folder
    tree.remove("b.mp3");
    for (int i = 0; i < 20 && player.controls().enabled(Ctl::Timer1); ++i)
        step();
    EXPECT_EQ(mpv.openedPaths(), (Files{at("a.mp3"), at("c.mp3")}));
}

TEST_F(FaultMatrix, FolderDeletedWhileCurrentIsPassedOver)
{
    music("A/1.mp3");
    music("A/2.mp3");
    music("A/3.mp3");
    music("B/4.mp3");
    options(tree.path(), 1, 0);
    player.cmdPlay_Click();
    step();
    step(); // A is current, 1 has played
    tree.remove("A");
    for (int i = 0; i < 40 && player.controls().enabled(Ctl::Timer1); ++i)
        step();
    EXPECT_EQ(mpv.openedPaths().back(), at("B/4.mp3"));
    EXPECT_FALSE(player.controls().enabled(Ctl::Timer1));
}

// Nobody pressed Play for the next round: no "Path Error" box, and the
// sequence waits in the playing arrangement until the folder is back.
TEST_F(FaultMatrix, PlayPathRemovedDuringTreeRepeatIsWaitedForWithoutABox)
{
    const std::string root = tree.makeFolder("root");
    music("root/a.mp3");
    options(root, 1, 1);
    player.cmdPlay_Click();
    step(); // a has played
    tree.remove("root");
    for (int i = 0; i < 10 && player.controls().enabled(Ctl::Timer1); ++i)
        step();
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(player.controls().enabled(Ctl::Timer1));
    EXPECT_FALSE(player.controls().enabled(Ctl::cmdPlay));
    EXPECT_EQ(player.PlayOn, 1);
    EXPECT_TRUE(player.passWaits());
}

TEST_F(FaultMatrix, SymlinkLoopsAreNotFollowed)
{
    music("A/a.mp3");
    tree.makeLink("A/loop", "..");
    tree.makeLink("self", ".");
    options(tree.path(), 1, 0);
    EXPECT_EQ(playAll(), (Files{at("A/a.mp3")}));
    EXPECT_TRUE(ended);
}

TEST_F(FaultMatrix, AwkwardNamesPlayExactlyThatFile)
{
    const Files names{"-leading dash.mp3", "\"quoted\" 'name'.mp3", "semi;colon.mp3",
                      "http:__x.mp3", "new\nline.mp3", "${path}.mp3", "%4%name.mp3",
                      "bad\xff\xfe utf8.mp3", "file:__.mp3", "x,y=z#1.mp3"};
    for (const auto& name : names)
        music(name);
    music("http:/dir/inside.mp3"); // a folder "http:" makes the path look like a URL
    options(tree.path(), 1, 0);
    const Files played = playAll();
    EXPECT_TRUE(ended);
    ASSERT_EQ(played.size(), names.size() + 1);
    for (const auto& name : names)
        EXPECT_NE(std::find(played.begin(), played.end(), at(name)), played.end()) << name;
    EXPECT_EQ(played.back(), at("http:/dir/inside.mp3"));
}

TEST_F(FaultMatrix, FiftyThousandFilesInOneFolder)
{
    const std::string folder = tree.makeFolder("big");
    for (int i = 0; i < 50000; ++i) {
        std::ofstream(folder + "/track" + std::to_string(100000 + i) + ".mp3");
    }
    music("big/track100000.mp3");
    music("big/track149999.mp3");
    options(folder, 0, 0);
    player.cmdPlay_Click();
    step(); // builds the play list of 50,000 files and opens the first
    ASSERT_TRUE(player.PlayList);
    EXPECT_EQ(player.PlayList->size(), 50000u);
    EXPECT_EQ(mpv.openedPaths(), (Files{at("big/track100000.mp3")}));
    player.PlayIndex = 49999; // straight to the last file: the empty ones fail alike
    step();
    EXPECT_EQ(mpv.openedPaths().back(), at("big/track149999.mp3"));
    player.cmdStop_Click();
}

TEST_F(FaultMatrix, TreeTwoHundredLevelsDeep)
{
    std::string rel;
    for (int depth = 0; depth < 200; ++depth)
        rel += (depth ? "/" : "") + std::string("d");
    music(rel + "/deep.mp3");
    music("top.mp3");
    options(tree.path(), 1, 0);
    const Files played = playAll();
    EXPECT_TRUE(ended);
    EXPECT_EQ(played, (Files{at("top.mp3"), at(rel + "/deep.mp3")}));
}

// Root can read everything, so these run only under an ordinary account
// (the test command runs this group again with one).
TEST_F(FaultMatrix, UnprivilegedUnreadableFoldersAndFilesArePassedOver)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "needs an unprivileged user";
    music("a.mp3");
    music("b-locked.mp3");
    music("Locked/x.mp3");
    music("Open/y.mp3");
    tree.setPermissions("b-locked.mp3", std::filesystem::perms::none);
    tree.setPermissions("Locked", std::filesystem::perms::none);
    options(tree.path(), 1, 0);
    const Files played = playAll();
    tree.setPermissions("Locked", std::filesystem::perms::owner_all);
    EXPECT_TRUE(ended);
    // The locked file fails, found so by its check or by its load, and the
    // locked folder is never entered.
    Files others = played;
    std::erase(others, at("b-locked.mp3"));
    EXPECT_EQ(others, (Files{at("a.mp3"), at("Open/y.mp3")}));
}

} // namespace
} // namespace orvane::test
