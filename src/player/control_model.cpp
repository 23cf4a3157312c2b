#include "player/control_model.h"

namespace orvane {

const char* ctlName(Ctl c)
{
    static constexpr const char* names[] = {
        "cmdPlay", "cmdPause", "cmdSkip", "cmdStop",
        "mnuPlay", "mnuPause", "mnuSkip", "mnuStop",
        "ckRepeat", "ckSub", "optDate", "optName",
        "cmdPath", "Text1", "Timer1",
    };
    static_assert(std::size(names) == static_cast<std::size_t>(Ctl::Count));
    return names[static_cast<std::size_t>(c)];
}

ControlModel::ControlModel()
{
    // The window's design: the idle arrangement, with Pause, Skip and the timer off.
    enabled_.fill(true);
    for (Ctl c : {Ctl::cmdPause, Ctl::mnuPause, Ctl::cmdSkip, Ctl::mnuSkip, Ctl::Timer1})
        enabled_[index(c)] = false;
}

void ControlModel::setEnabled(Ctl c, bool on)
{
    if (enabled_[index(c)] == on)
        return;
    enabled_[index(c)] = on;
    changed(c);
}

void ControlModel::setOptDate(bool on)
{
    if (optDate_ == on)
        return;
    optDate_ = on;
    changed(Ctl::optDate);
}

void ControlModel::setOptName(bool on)
{
    if (optName_ == on)
        return;
    optName_ = on;
    changed(Ctl::optName);
}

void ControlModel::setCkSub(int state)
{
    if (ckSub_ == state)
        return;
    ckSub_ = state;
    changed(Ctl::ckSub);
}

void ControlModel::setCkRepeat(int state)
{
    if (ckRepeat_ == state)
        return;
    ckRepeat_ = state;
    changed(Ctl::ckRepeat);
}

void ControlModel::setText1(const std::string& text)
{
    if (text1_ == text)
        return;
    text1_ = text;
    changed(Ctl::Text1);
}

void ControlModel::changed(Ctl c)
{
    if (listener_)
        listener_(c);
}

} // namespace orvane
