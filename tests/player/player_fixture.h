#pragma once

#include "player/place.h"
#include "player/player.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvane::test {

// A store in memory that counts what it was asked to do.
class MemoryPlaceStore : public PlaceStore {
public:
    std::string load() override { return text; }
    void save(const std::string& t) override
    {
        if (failing)
            throw std::runtime_error("full");
        text = t;
        ++saves;
    }
    void forget() override { text.clear(); }

    std::optional<Place> place() const { return parsePlace(text); }

    std::string text;
    int saves = 0;
    bool failing = false;
};

// The play path and options, set as a user would.
inline void setOptions(ControlModel& ctl, const std::string& path, int sub, int repeat, bool byDate = false)
{
    ctl.setText1(path);
    ctl.setCkSub(sub);
    ctl.setCkRepeat(repeat);
    ctl.setOptDate(byDate);
    ctl.setOptName(!byDate);
}

// One run of a program over fs (or over share, which answers a call each
// tick), keeping its place in store: Play with the choices made by choose,
// each file ending as it opens, until files are opened or the sequence ends;
// then the program ends. The files opened, and what fs had listed by the
// first of them.
struct PlacedRun {
    std::vector<std::string> opened;
    std::vector<std::string> listedByFirstOpen;
};
inline PlacedRun runKeepingPlace(FakeFileSystem& fs, SlowFileService* share, MemoryPlaceStore& store,
                                 std::size_t files, const std::function<void(ControlModel&)>& choose)
{
    FakeMMControl mm;
    FakeUi ui;
    std::unique_ptr<Player> player = share ? std::make_unique<Player>(mm, *share, ui) : std::make_unique<Player>(mm, fs, ui);
    player->place().keepIn(&store);
    choose(player->controls());
    player->drawSeed = [] { return 42; };
    player->cmdPlay_Click();
    PlacedRun run;
    for (int i = 0; i < 2000 && (mm.opened().empty() || player->controls().enabled(Ctl::Timer1))
                    && mm.opened().size() < files;
         ++i) {
        const std::size_t before = mm.opened().size();
        if (share)
            share->answer();
        player->Timer1_Timer();
        if (before == 0 && !mm.opened().empty())
            run.listedByFirstOpen = fs.listings;
        if (mm.opened().size() > before && mm.opened().size() < files)
            mm.finish();
    }
    player->programEnds(true);
    run.opened = mm.opened();
    return run;
}

// A player over fakes, with the play path and options set as a user would.
class PlayerFixture : public ::testing::Test {
protected:
    FakeFileSystem fs;
    FakeMMControl mm;
    FakeUi ui;
    Player player{mm, fs, ui};
    ControlModel& ctl = player.controls();

    void options(const std::string& path, int sub, int repeat, bool byDate = false)
    {
        setOptions(ctl, path, sub, repeat, byDate);
    }

    // Ticks as the timer would while it runs, each opened file playing to its
    // end after ticksPerFile ticks (1: it ends before the next tick), until the
    // player is idle or the limit is reached. Returns the files opened, in order.
    std::vector<std::string> playThrough(int maxTicks = 500, int ticksPerFile = 2)
    {
        std::size_t seen = mm.opened().size();
        int ticksLeft = 0;
        for (int i = 0; i < maxTicks && ctl.enabled(Ctl::Timer1); ++i) {
            player.Timer1_Timer();
            if (mm.opened().size() > seen) {
                seen = mm.opened().size();
                ticksLeft = ticksPerFile;
            }
            if (ticksLeft > 0 && --ticksLeft == 0)
                mm.finish();
        }
        return mm.opened();
    }

    enum class Set { Idle, Playing, Paused };

    // The enabled flags of every transport and option control for a player state.
    static void expectSet(const ControlModel& c, Set s)
    {
        const bool idle = s == Set::Idle;
        const bool playing = s == Set::Playing;
        for (Ctl play : {Ctl::cmdPlay, Ctl::mnuPlay})
            EXPECT_EQ(c.enabled(play), !playing) << ctlName(play);
        for (Ctl ps : {Ctl::cmdPause, Ctl::mnuPause, Ctl::cmdSkip, Ctl::mnuSkip})
            EXPECT_EQ(c.enabled(ps), playing) << ctlName(ps);
        for (Ctl stop : {Ctl::cmdStop, Ctl::mnuStop})
            EXPECT_TRUE(c.enabled(stop)) << ctlName(stop);
        for (Ctl opt : {Ctl::ckRepeat, Ctl::ckSub, Ctl::optDate, Ctl::optName, Ctl::cmdPath, Ctl::Text1})
            EXPECT_EQ(c.enabled(opt), idle) << ctlName(opt);
        EXPECT_EQ(c.enabled(Ctl::Timer1), !idle);
    }
};

} // namespace orvane::test
