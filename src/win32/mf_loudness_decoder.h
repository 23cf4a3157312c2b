#pragma once

#include "media/measured_loudness.h"

namespace orvane {

// The Windows program's decode for measuring loudness: the Media Foundation
// decoder the WASAPI stream plays with (MfDecoder), in the file's own rate
// and channels, its delay and padding cut as in playing.
class MfLoudnessDecoder : public LoudnessDecoder {
public:
    bool decode(const std::string& path, const Take& take) override;
};

} // namespace orvane
