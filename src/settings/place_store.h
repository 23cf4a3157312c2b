#pragma once

#include "player/place.h"
#include "settings/mod_reg.h"

#include <memory>
#include <string>

namespace orvane {

// The place as one text value in the per-user registry, beside the settings
// but apart from them: HKEY_CURRENT_USER\Software\Orvane\Place\State. A value
// is written whole or not at all, so a kill never leaves half a place; no
// place is the empty text.
class RegistryPlaceStore : public PlaceStore {
public:
    static constexpr const char* ValuePath = "HKEY_CURRENT_USER\\Software\\Orvane\\Place\\State";

    explicit RegistryPlaceStore(RegistryFactory factory) : factory_(std::move(factory)) {}

    std::string load() override;
    void save(const std::string& text) override;
    void forget() override { save({}); }

private:
    RegistryFactory factory_;
};

#ifdef _WIN32
// The registry's place for this copy of the program when no other copy of
// the user's session keeps it: a named object held for the process's life
// (the system lets it go at any end, a crash included) says which copy does.
// Null for a copy started while another runs: it plays all the same but
// keeps no place, so that it neither overwrites nor forgets the other's.
std::unique_ptr<PlaceStore> claimRegistryPlace(RegistryFactory factory);
#endif

} // namespace orvane
