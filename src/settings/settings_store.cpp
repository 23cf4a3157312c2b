#include "settings/settings_store.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace orvane {

namespace Key = SettingsKey;

namespace {

// The stored text as a whole number, or nothing when it is empty or not a
// number (surrounding blanks are allowed).
std::optional<long long> toNumber(const std::string& text)
{
    auto first = text.find_first_not_of(" \t");
    auto last = text.find_last_not_of(" \t");
    if (first == std::string::npos)
        return std::nullopt;
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    if (*begin == '+')
        ++begin;
    long long value = 0;
    auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc{} || ptr != end)
        return std::nullopt;
    return value;
}

// Check boxes are checked only by a stored 1; anything else leaves them clear.
int checkState(const std::string& text)
{
    return toNumber(text) == 1 ? 1 : 0;
}

} // namespace

std::string versionText()
{
    return std::to_string(VersionMajor) + "." + std::to_string(VersionMinor) + "."
        + std::to_string(VersionRevision);
}

std::string versionCaption()
{
    return "Version " + versionText();
}

void applyFirstRunRule(SettingsProvider& settings)
{
    const std::string running = versionText();
    if (settings.ReadRegValue(regPath(Key::Version)) == running)
        return;
    for (const StoredSetting& s : StoredSettings)
        settings.WriteRegValue(regPath(s.name), s.firstRun ? s.firstRun : running);
}

void loadSettings(SettingsProvider& settings, ControlModel& controls)
{
    const bool byDate = toNumber(settings.ReadRegValue(regPath(Key::PlayOrder))) == 1;
    controls.setOptDate(byDate);
    controls.setOptName(!byDate);
    controls.setCkSub(checkState(settings.ReadRegValue(regPath(Key::Sub))));
    controls.setCkRepeat(checkState(settings.ReadRegValue(regPath(Key::Repeat))));
    controls.setText1(settings.ReadRegValue(regPath(Key::PlayPath)));
    controls.setShuffle(checkState(settings.ReadRegValue(regPath(Key::Shuffle))) == 1);
    controls.setEvenLoudness(checkState(settings.ReadRegValue(regPath(Key::EvenLoudness))) == 1);
}

void optDate_Click(SettingsProvider& settings, ControlModel& controls)
{
    controls.setOptDate(true);
    controls.setOptName(false);
    settings.WriteRegValue(regPath(Key::PlayOrder), "1");
}

void optName_Click(SettingsProvider& settings, ControlModel& controls)
{
    controls.setOptDate(false);
    controls.setOptName(true);
    settings.WriteRegValue(regPath(Key::PlayOrder), "2");
}

void ckSub_Click(SettingsProvider& settings, const ControlModel& controls)
{
    settings.WriteRegValue(regPath(Key::Sub), std::to_string(controls.ckSub()));
}

void ckRepeat_Click(SettingsProvider& settings, const ControlModel& controls)
{
    settings.WriteRegValue(regPath(Key::Repeat), std::to_string(controls.ckRepeat()));
}

void mnuShuffle_Click(SettingsProvider& settings, const ControlModel& controls)
{
    settings.WriteRegValue(regPath(Key::Shuffle), controls.shuffle() ? "1" : "0");
}

void mnuEvenLoudness_Click(SettingsProvider& settings, const ControlModel& controls)
{
    settings.WriteRegValue(regPath(Key::EvenLoudness), controls.evenLoudness() ? "1" : "0");
}

double loudnessPreampDb(SettingsProvider& settings)
{
    const std::optional<long long> db = toNumber(settings.ReadRegValue(regPath(Key::LoudnessPreamp)));
    return db ? static_cast<double>(std::clamp<long long>(*db, -12, 12)) : 0.0;
}

void storeAllSettings(SettingsProvider& settings, const ControlModel& controls)
{
    if (controls.optDate())
        settings.WriteRegValue(regPath(Key::PlayOrder), "1");
    if (controls.optName())
        settings.WriteRegValue(regPath(Key::PlayOrder), "2");
    settings.WriteRegValue(regPath(Key::Sub), std::to_string(controls.ckSub()));
    settings.WriteRegValue(regPath(Key::Repeat), std::to_string(controls.ckRepeat()));
    settings.WriteRegValue(regPath(Key::PlayPath), controls.Text1());
}

} // namespace orvane
