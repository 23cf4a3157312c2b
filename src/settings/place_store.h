#pragma once

#include "player/place.h"
#include "settings/mod_reg.h"

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

} // namespace orvane
