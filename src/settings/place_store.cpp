#include "settings/place_store.h"

#include <stdexcept>

#include "platform/win_api.h"

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

#ifdef _WIN32

namespace {

constexpr const wchar_t* PlaceOwnerName = L"Local\\Orvane.Place";

class ClaimedRegistryPlaceStore final : public RegistryPlaceStore {
public:
    ClaimedRegistryPlaceStore(RegistryFactory factory, HANDLE claim)
        : RegistryPlaceStore(std::move(factory))
        , claim_(claim)
    {
    }
    ~ClaimedRegistryPlaceStore() override { CloseHandle(claim_); }
    ClaimedRegistryPlaceStore(const ClaimedRegistryPlaceStore&) = delete;
    ClaimedRegistryPlaceStore& operator=(const ClaimedRegistryPlaceStore&) = delete;

private:
    HANDLE claim_;
};

} // namespace

std::unique_ptr<PlaceStore> claimRegistryPlace(RegistryFactory factory)
{
    HANDLE claim = CreateMutexW(nullptr, FALSE, PlaceOwnerName);
    if (!claim)
        return nullptr;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(claim); // another copy's
        return nullptr;
    }
    return std::make_unique<ClaimedRegistryPlaceStore>(std::move(factory), claim);
}

#endif

} // namespace orvane
