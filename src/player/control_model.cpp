#include "player/control_model.h"

namespace orvane {

const char* ctlName(Ctl c)
{
    static constexpr const char* names[] = {
        "cmdPlay", "cmdPause", "cmdSkip", "cmdStop",
        "mnuPlay", "mnuPause", "mnuSkip", "mnuStop",
        "ckRepeat", "ckSub", "optDate", "optName",
        "cmdPath", "Text1", "Timer1",
        "mnuShuffle", "mnuEvenLoudness",
    };
    static_assert(std::size(names) == static_cast<std::size_t>(Ctl::Count));
    return names[static_cast<std::size_t>(c)];
}

ControlModel::ControlModel()
{
    // The window's design: the idle arrangement.
    for (const ArrangementRow& row : Arrangements) {
        enabled_[index(row.control)] = row.idle;
        if (row.twin != Ctl::Count)
            enabled_[index(row.twin)] = row.idle;
    }
    enabled_[index(Ctl::mnuEvenLoudness)] = true;
}

void ControlModel::arrange(PlayState from, PlayState to)
{
    for (const ArrangementRow& row : Arrangements) {
        if (row.on(from) == row.on(to))
            continue;
        const bool on = row.on(to);
        if (row.twin != Ctl::Count && row.twinFirst)
            setEnabled(row.twin, on);
        setEnabled(row.control, on);
        if (row.twin != Ctl::Count && !row.twinFirst)
            setEnabled(row.twin, on);
    }
}

bool ControlModel::checked(Ctl c) const
{
    switch (c) {
    case Ctl::ckRepeat: return ckRepeat_ == 1;
    case Ctl::ckSub: return ckSub_ == 1;
    case Ctl::optDate: return optDate_;
    case Ctl::optName: return optName_;
    case Ctl::mnuShuffle: return shuffle_;
    case Ctl::mnuEvenLoudness: return evenLoudness_;
    default: return false;
    }
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
    setEnabled(Ctl::mnuShuffle, state == 1);
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

void ControlModel::setShuffle(bool on)
{
    if (shuffle_ == on)
        return;
    shuffle_ = on;
    changed(Ctl::mnuShuffle);
}

void ControlModel::setEvenLoudness(bool on)
{
    if (evenLoudness_ == on)
        return;
    evenLoudness_ = on;
    changed(Ctl::mnuEvenLoudness);
}

void ControlModel::changed(Ctl c)
{
    changes_.notify(c);
}

} // namespace orvane
