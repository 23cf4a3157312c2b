#include "player/invariants.h"

namespace orvane {

namespace {

std::string enabledAs(const ControlModel& c, Ctl control, bool expected)
{
    if (c.enabled(control) == expected)
        return {};
    return std::string(ctlName(control)) + (expected ? " is disabled" : " is enabled");
}

std::string controlsBroken(const ControlModel& c, PlayState state)
{
    for (const ArrangementRow& row : Arrangements)
        if (row.twin != Ctl::Count && c.enabled(row.control) != c.enabled(row.twin))
            return std::string(ctlName(row.control)) + " and its tray twin differ";
    for (const ArrangementRow& row : Arrangements)
        if (std::string broken = enabledAs(c, row.control, row.on(state)); !broken.empty())
            return broken;
    return {};
}

} // namespace

std::string brokenInvariant(const Player& player)
{
    const bool idle = player.PlayOn == 0;
    if (idle && player.Paused)
        return "paused while idle";
    if (std::string broken = controlsBroken(player.controls(), player.state()); !broken.empty())
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
