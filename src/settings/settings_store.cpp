#include "settings/settings_store.h"

#include "settings/mod_reg.h"

#include <charconv>
#include <optional>

namespace orvane {

using modReg::ReadRegValue;
using modReg::WriteRegValue;

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

std::string regPath(const char* valueName)
{
    return std::string(RegKeyPath) + valueName;
}

void applyFirstRunRule()
{
    const std::string running = versionText();
    if (ReadRegValue(regPath("Version")) == running)
        return;
    WriteRegValue(regPath("PlayOrder"), "2");
    WriteRegValue(regPath("Sub"), "0");
    WriteRegValue(regPath("Repeat"), "0");
    WriteRegValue(regPath("PlayPath"), "");
    WriteRegValue(regPath("Version"), running);
}

void loadSettings(ControlModel& controls)
{
    const bool byDate = toNumber(ReadRegValue(regPath("PlayOrder"))) == 1;
    controls.setOptDate(byDate);
    controls.setOptName(!byDate);
    controls.setCkSub(checkState(ReadRegValue(regPath("Sub"))));
    controls.setCkRepeat(checkState(ReadRegValue(regPath("Repeat"))));
    controls.setText1(ReadRegValue(regPath("PlayPath")));
}

void optDate_Click(ControlModel& controls)
{
    controls.setOptDate(true);
    controls.setOptName(false);
    WriteRegValue(regPath("PlayOrder"), "1");
}

void optName_Click(ControlModel& controls)
{
    controls.setOptDate(false);
    controls.setOptName(true);
    WriteRegValue(regPath("PlayOrder"), "2");
}

void ckSub_Click(const ControlModel& controls)
{
    WriteRegValue(regPath("Sub"), std::to_string(controls.ckSub()));
}

void ckRepeat_Click(const ControlModel& controls)
{
    WriteRegValue(regPath("Repeat"), std::to_string(controls.ckRepeat()));
}

void storeAllSettings(const ControlModel& controls)
{
    if (controls.optDate())
        WriteRegValue(regPath("PlayOrder"), "1");
    if (controls.optName())
        WriteRegValue(regPath("PlayOrder"), "2");
    WriteRegValue(regPath("Sub"), std::to_string(controls.ckSub()));
    WriteRegValue(regPath("Repeat"), std::to_string(controls.ckRepeat()));
    WriteRegValue(regPath("PlayPath"), controls.Text1());
}

} // namespace orvane
