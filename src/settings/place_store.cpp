#include "settings/place_store.h"

#include <stdexcept>

namespace orvane {

namespace {

std::unique_ptr<Registry> reach(const RegistryFactory& factory)
{
    std::unique_ptr<Registry> registry = factory ? factory() : nullptr;
    if (!registry)
        throw std::runtime_error("no registry for the place");
    return registry;
}

} // namespace

std::string RegistryPlaceStore::load()
{
    return reach(factory_)->read(ValuePath).value_or(std::string{});
}

void RegistryPlaceStore::save(const std::string& text)
{
    reach(factory_)->write(ValuePath, text);
}

} // namespace orvane
