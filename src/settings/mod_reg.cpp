#include "settings/mod_reg.h"

#include <utility>

namespace orvane::modReg {

namespace {
RegistryFactory& factory()
{
    static RegistryFactory f;
    return f;
}

std::unique_ptr<Registry> makeRegistry()
{
    try {
        return factory() ? factory()() : nullptr;
    } catch (...) {
        return nullptr;
    }
}
} // namespace

RegistryFactory setRegistryFactory(RegistryFactory f)
{
    return std::exchange(factory(), std::move(f));
}

void WriteRegValue(const std::string& path, const std::string& value)
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

std::string ReadRegValue(const std::string& path)
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

} // namespace orvane::modReg
