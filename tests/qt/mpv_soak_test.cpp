// A long storm of random commands over a repeating tree, on the real libmpv
// control, with the player's invariants checked after every step. The length
// comes from ORVANE_SOAK_SECONDS (default 20; the sanitizer suite runs it
// longer), the seed from ORVANE_SOAK_SEED.
#include "mpv_player_fixture.h"
#include "player/player_invariants.h"

#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

namespace orvane::test {
namespace {

long residentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

int envInt(const char* name, int fallback)
{
    const char* text = std::getenv(name);
    return text && *text ? std::atoi(text) : fallback;
}

class Soak : public MpvPlayerFixture {
protected:
    void SetUp() override
    {
        for (int folder = 0; folder < 20; ++folder) {
            const std::string dir = "f" + std::to_string(10 + folder) + (folder % 3 ? "" : "/deeper");
            for (int file = 0; file < 15; ++file) {
                const std::string rel = dir + "/t" + std::to_string(10 + file) + ".mp3";
                music(rel, 0.05); // long enough to be recognised as MP3
                expectedPass.push_back(at(rel));
            }
        }
        std::sort(expectedPass.begin(), expectedPass.end(), lessNoCase);
        options(tree.path(), 1, 1);
    }

    void checkInvariants(const char* after)
    {
        ++checks;
        checkPlayerInvariants(player, after);
    }

    Files expectedPass;
    long checks = 0;
};

TEST_F(Soak, RandomStormKeepsTheInvariantsAndPlayingRecovers)
{
    const int seconds = envInt("ORVANE_SOAK_SECONDS", 20);
    const unsigned seed = static_cast<unsigned>(envInt("ORVANE_SOAK_SEED", 20261207));
    std::mt19937 random(seed);
    const long rssStart = residentKiB();
    QElapsedTimer clock;
    clock.start();

    long steps = 0;
    player.cmdPlay_Click();
    checkInvariants("start");
    while (clock.elapsed() < seconds * 1000L) {
        const unsigned roll = random() % 100;
        const char* what = "tick";
        ControlModel& c = player.controls();
        if (roll < 55) {
            if (c.enabled(Ctl::Timer1))
                player.Timer1_Timer();
        } else if (roll < 75) {
            what = "events";
            orvane::testing::spinFor(static_cast<int>(random() % 4));
        } else if (roll < 81) {
            what = "play";
            if (c.enabled(Ctl::cmdPlay))
                (random() % 2 ? player.cmdPlay_Click() : player.mnuPlay_Click());
        } else if (roll < 87) {
            what = "pause";
            if (c.enabled(Ctl::cmdPause))
                (random() % 2 ? player.cmdPause_Click() : player.mnuPause_Click());
        } else if (roll < 94) {
            what = "skip";
            if (c.enabled(Ctl::cmdSkip))
                (random() % 2 ? player.cmdSkip_Click() : player.mnuSkip_Click());
        } else if (roll < 97) {
            what = "stop";
            (random() % 2 ? player.cmdStop_Click() : player.mnuStop_Click());
        } else {
            what = "options";
            if (c.enabled(Ctl::ckSub)) {
                c.setCkSub(static_cast<int>(random() % 2));
                c.setCkRepeat(static_cast<int>(random() % 2));
                const bool byDate = random() % 2;
                c.setOptDate(byDate);
                c.setOptName(!byDate);
            }
        }
        ++steps;
        checkInvariants(what);
        if (HasFatalFailure())
            return;
    }

    // Whatever state the storm left: Play (a resume when paused) brings sound
    // back within a second.
    ControlModel& c = player.controls();
    options(tree.path(), 1, 1);
    if (!c.enabled(Ctl::cmdPlay))
        player.cmdPause_Click();
    const std::size_t before = mpv.openedPaths().size();
    const bool wasPaused = player.Paused;
    QElapsedTimer recovery;
    recovery.start();
    player.cmdPlay_Click();
    bool sounding = false;
    while (!sounding && recovery.elapsed() < 1000) {
        player.Timer1_Timer();
        orvane::testing::spinFor(5);
        sounding = mpv.openedPaths().size() > before || (wasPaused && mpv.position() >= 0);
    }
    EXPECT_TRUE(sounding) << "no sound within a second of Play after the storm";
    checkInvariants("recovery");

    // A final full pass from a new start plays every file once, in order.
    player.cmdStop_Click();
    const std::size_t passStart = mpv.openedPaths().size();
    player.cmdPlay_Click();
    while (mpv.openedPaths().size() < passStart + expectedPass.size() && c.enabled(Ctl::Timer1))
        step();
    const Files pass(mpv.openedPaths().begin() + static_cast<std::ptrdiff_t>(passStart), mpv.openedPaths().end());
    EXPECT_EQ(pass, expectedPass);
    player.cmdStop_Click();

    const long rssEnd = residentKiB();
    std::printf("soak: %d s, seed %u, %ld steps, %ld invariant checks, %zu files opened, "
                "resident memory %ld KiB at start, %ld KiB at end\n",
                seconds, seed, steps, checks, mpv.openedPaths().size(), rssStart, rssEnd);
}

} // namespace
} // namespace orvane::test
