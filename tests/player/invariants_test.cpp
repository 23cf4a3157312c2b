#include "player/invariants.h"
#include "player_fixture.h"

#include <functional>

namespace orvane::test {
namespace {

class Invariants : public PlayerFixture {};

TEST_F(Invariants, EachBrokenRuleIsNamed)
{
    fs.addFile("/m/a.mp3");
    options("/m", 0, 0);
    const std::pair<std::function<void()>, const char*> breaks[] = {
        {[&] { player.Paused = true; }, "paused while idle"},
        {[&] { ctl.setEnabled(Ctl::mnuSkip, true); }, "cmdSkip and its tray twin differ"},
        {[&] { ctl.setEnabled(Ctl::cmdStop, false); ctl.setEnabled(Ctl::mnuStop, false); }, "cmdStop is disabled"},
        {[&] { ctl.setEnabled(Ctl::Text1, false); }, "Text1 is disabled"},
        {[&] { player.DeviceReady = 2; }, "DeviceReady is neither 0 nor 1"},
        {[&] { player.List2.push_back("/m"); }, "folder lists left while idle"},
        {[&] { player.cmdPlay_Click(); player.Timer1_Timer(); player.PlayIndex = 5; },
         "PlayIndex outside the play list"},
        {[&] {
             player.cmdPlay_Click();
             player.Timer1_Timer();
             EXPECT_EQ(brokenInvariant(player), "") << "just past the list's last entry is inside";
             player.PlayIndex = -1;
         },
         "PlayIndex outside the play list"},
        {[&] { player.cmdPlay_Click(); ctl.setEnabled(Ctl::Timer1, false); }, "Timer1 is disabled"},
    };
    for (const auto& [breakIt, named] : breaks) {
        player.cmdStop_Click();
        player.Paused = false;
        player.DeviceReady = 0;
        ctl.setEnabled(Ctl::cmdStop, true);
        ctl.setEnabled(Ctl::mnuStop, true);
        ASSERT_EQ(brokenInvariant(player), "");
        breakIt();
        EXPECT_EQ(brokenInvariant(player), named);
    }
}

} // namespace
} // namespace orvane::test
