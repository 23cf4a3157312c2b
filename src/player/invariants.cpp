#include "player/invariants.h"

#include <utility>

namespace orvane {

namespace {

std::string enabledAs(const ControlModel& c, Ctl control, bool expected)
{
    if (c.enabled(control) == expected)
        return {};
    return std::string(ctlName(control)) + (expected ? " is disabled" : " is enabled");
}

std::string controlsBroken(const ControlModel& c, bool idle, bool paused)
{
    for (auto [button, item] : {std::pair{Ctl::cmdPlay, Ctl::mnuPlay}, {Ctl::cmdPause, Ctl::mnuPause},
                                {Ctl::cmdSkip, Ctl::mnuSkip}, {Ctl::cmdStop, Ctl::mnuStop}})
        if (c.enabled(button) != c.enabled(item))
            return std::string(ctlName(button)) + " and its tray twin differ";
    const std::pair<Ctl, bool> expected[] = {
        {Ctl::Timer1, !idle}, {Ctl::cmdStop, true}, {Ctl::cmdPlay, idle || paused},
        {Ctl::cmdPause, !idle && !paused}, {Ctl::cmdSkip, !idle && !paused},
        {Ctl::ckRepeat, idle}, {Ctl::ckSub, idle}, {Ctl::optDate, idle}, {Ctl::optName, idle},
        {Ctl::cmdPath, idle}, {Ctl::Text1, idle}};
    for (auto [control, on] : expected)
        if (std::string broken = enabledAs(c, control, on); !broken.empty())
            return broken;
    return {};
}

} // namespace

std::string brokenInvariant(const Player& player)
{
    const bool idle = player.PlayOn == 0;
    const bool paused = player.Paused;
    if (idle && paused)
        return "paused while idle";
    if (std::string broken = controlsBroken(player.controls(), idle, paused); !broken.empty())
        return broken;
    if (!idle && player.PlayList
        && (player.PlayIndex < 0 || player.PlayIndex > static_cast<std::int64_t>(player.PlayList->size())))
        return "PlayIndex outside the play list";
    if (player.DeviceReady != 0 && player.DeviceReady != 1)
        return "DeviceReady is neither 0 nor 1";
    if (idle && (player.List1.ListCount() != 0 || !player.List2.empty()))
        return "folder lists left while idle";
    return {};
}

} // namespace orvane
