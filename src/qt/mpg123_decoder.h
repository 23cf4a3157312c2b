#pragma once

#include "media/measured_loudness.h"

namespace orvane {

// The Linux program's decode for measuring loudness: libmpg123, which reads
// the file itself (never an address) and cuts the encoder's delay and padding
// as the LAME header gives them, so that what is measured is what is heard.
// Floats in the file's own rate and channels.
class Mpg123Decoder : public LoudnessDecoder {
public:
    bool decode(const std::string& path, const Take& take) override;
};

} // namespace orvane
