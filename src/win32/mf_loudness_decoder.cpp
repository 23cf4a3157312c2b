#include "win32/mf_loudness_decoder.h"

#include "win32/mf_decoder.h"
#include "platform/win_text.h"

#include <objbase.h>

#include <vector>

namespace orvane {

bool MfLoudnessDecoder::decode(const std::string& path, const Take& take)
{
    // The measuring thread is one of the levelling's own: Media Foundation
    // wants COM there, for the length of the decode.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    bool whole = false;
    {
        const std::optional<std::wstring> wide = win::fullPath(path);
        std::unique_ptr<MfDecoder> decoder = wide ? MfDecoder::open(*wide, 0, 0) : nullptr;
        if (decoder) {
            std::vector<float> piece;
            whole = true;
            while (whole) {
                piece.clear();
                if (!decoder->read(piece))
                    break;
                whole = take(decoder->rate(), decoder->channels(), piece);
            }
        }
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return whole;
}

} // namespace orvane
