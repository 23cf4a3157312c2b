#pragma once

#include "media/lame_header.h"
#include "media/pcm_converter.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/win_api.h"

#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <wrl/client.h>

namespace orvane {

// Media Foundation as far as the program uses it, found at run time: Windows
// N editions have no mfplat.dll, and the program must still start there.
class MediaFoundation {
public:
    // Loads and starts Media Foundation once per process; null when it is
    // missing or does not start.
    static const MediaFoundation* get();

    HRESULT(WINAPI* createFile)(MF_FILE_ACCESSMODE, MF_FILE_OPENMODE, MF_FILE_FLAGS, LPCWSTR, IMFByteStream**) = nullptr;
    HRESULT(WINAPI* createMediaType)(IMFMediaType**) = nullptr;
    HRESULT(WINAPI* createReader)(IMFByteStream*, IMFAttributes*, IMFSourceReader**) = nullptr;
};

// One file's sound as float samples in the output's rate and channels, read
// a piece at a time by one thread. The file is opened as a file, never as an
// address, and Media Foundation picks its decoder from its content.
//
// Decoders that leave the encoder's delay and padding in (as the LAME header
// gives them) have them cut here; the ones that cut them already are left
// alone.
class MfDecoder {
public:
    // Null when the file cannot be opened or decoded, or holds no sound.
    static std::unique_ptr<MfDecoder> open(const std::wstring& path, int outRate, int outChannels);

    // Appends the next piece; false, with nothing appended, at the end (or
    // where the file could not be decoded further).
    bool read(std::vector<float>& out);

    int rate() const { return rate_; }
    int channels() const { return channels_; }

private:
    MfDecoder(Microsoft::WRL::ComPtr<IMFSourceReader> reader, int rate, int channels, bool isFloat, Trim trim,
              int outRate, int outChannels);

    // The next decoded piece in the file's own format, trimmed; false at the end.
    bool readNative(std::vector<float>& native);
    bool nextSample(Microsoft::WRL::ComPtr<IMFSample>& sample);
    void appendSound(const BYTE* data, std::size_t bytes, std::vector<float>& native);
    bool sameFormat() const;

    Microsoft::WRL::ComPtr<IMFSourceReader> reader_;
    int rate_;
    int channels_;
    bool float_;
    Trim trim_;
    std::int64_t decoded_ = 0; // frames the decoder gave, trim not counted
    bool ended_ = false;
    PcmConverter converter_;
    std::vector<float> native_;
};

} // namespace orvane
