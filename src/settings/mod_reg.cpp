#include "settings/mod_reg.h"

namespace orvane {

std::unique_ptr<Registry> SettingsProvider::makeRegistry()
{
    try {
        return factory_ ? factory_() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

void SettingsProvider::WriteRegValue(const std::string& path, const std::string& value)
{
    auto reg = makeRegistry();
    if (!reg)
        return;
    try {
        reg->write(path, value);
    } catch (...) {
        // The previous value, or none, stays in place.
    }
}

std::string SettingsProvider::ReadRegValue(const std::string& path)
{
    auto reg = makeRegistry();
    if (!reg)
        return {};
    try {
        return reg->read(path).value_or(std::string{});
    } catch (...) {
        return {};
    }
}

} // namespace orvane
