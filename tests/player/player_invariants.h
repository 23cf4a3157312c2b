#pragma once

#include "player/player.h"

#include <gtest/gtest.h>

#include <string>

namespace orvane::test {

// The state table and enabled sets, the play cursor's bounds and the device
// flag, as they must hold between any two events. Fails the test (fatally)
// with `after` naming the last step.
inline void checkPlayerInvariants(const Player& player, const std::string& after)
{
    const ControlModel& c = player.controls();
    const bool idle = player.PlayOn == 0;
    const bool paused = player.Paused;
    ASSERT_TRUE(!idle || !paused) << after;
    ASSERT_EQ(c.enabled(Ctl::Timer1), !idle) << after;
    for (auto [button, item] : {std::pair{Ctl::cmdPlay, Ctl::mnuPlay}, {Ctl::cmdPause, Ctl::mnuPause},
                                {Ctl::cmdSkip, Ctl::mnuSkip}, {Ctl::cmdStop, Ctl::mnuStop}})
        ASSERT_EQ(c.enabled(button), c.enabled(item)) << after << " " << ctlName(button);
    ASSERT_TRUE(c.enabled(Ctl::cmdStop)) << after;
    ASSERT_EQ(c.enabled(Ctl::cmdPlay), idle || paused) << after;
    ASSERT_EQ(c.enabled(Ctl::cmdPause), !idle && !paused) << after;
    ASSERT_EQ(c.enabled(Ctl::cmdSkip), !idle && !paused) << after;
    for (Ctl option : {Ctl::ckRepeat, Ctl::ckSub, Ctl::optDate, Ctl::optName, Ctl::cmdPath, Ctl::Text1})
        ASSERT_EQ(c.enabled(option), idle) << after << " " << ctlName(option);
    if (!idle && player.PlayList) {
        ASSERT_GE(player.PlayIndex, 0) << after;
        ASSERT_LE(player.PlayIndex, static_cast<std::int64_t>(player.PlayList->size())) << after;
    }
    ASSERT_TRUE(player.DeviceReady == 0 || player.DeviceReady == 1) << after;
    if (idle) {
        ASSERT_EQ(player.List1.ListCount(), 0) << after;
        ASSERT_TRUE(player.List2.empty()) << after;
    }
}

} // namespace orvane::test
