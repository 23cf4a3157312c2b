#pragma once

#include "media/lame_header.h"
#include "media/pcm_converter.h"
#include "media/read_ahead.h"

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
class MfDecoder : public ReadAhead::Source {
public:
    // Null when the file cannot be opened or decoded, or holds no sound. An
    // outRate or outChannels of 0: the file's own.
    static std::unique_ptr<MfDecoder> open(const std::wstring& path, int outRate, int outChannels);

    // Appends the next piece; false, with nothing appended, at the end (or
    // where the file could not be decoded further).
    bool read(std::vector<float>& out) override;
    // Before the first read: seeks the source reader a little before the
    // frame (output frames in), and drops what the decoder gives before a
    // frame of the output the samples' own times tell exactly, so that what
    // follows it is what a decoding from the start gives there. 0 where the
    // reader cannot seek or its times cannot be trusted: the reading then
    // starts over from the beginning.
    std::int64_t seek(std::int64_t frame) override;

    int rate() const { return rate_; }
    int channels() const { return channels_; }

private:
    MfDecoder(Microsoft::WRL::ComPtr<IMFSourceReader> reader, int rate, int channels, bool isFloat, Trim trim,
              int outRate, int outChannels);

    // The next decoded piece in the file's own format, trimmed; false at the end.
    bool readNative(std::vector<float>& native);
    bool nextSample(Microsoft::WRL::ComPtr<IMFSample>& sample);
    // Appends the sample's sound from the decoder's frame `first` on; false
    // when its data cannot be had.
    bool appendSample(IMFSample* sample, std::int64_t first, std::vector<float>& native);
    void appendSound(const BYTE* data, std::size_t bytes, std::vector<float>& native);
    bool sameFormat() const;
    std::optional<std::int64_t> frameOf(IMFSample* sample) const;
    bool startOver();
    void holdTail();
    void releaseTail();

    Microsoft::WRL::ComPtr<IMFSourceReader> reader_;
    int rate_;
    int channels_;
    bool float_;
    Trim trim_;
    std::int64_t from_;        // the decoder's frame the sound starts at: the trim's, or a seek's
    std::int64_t decoded_ = 0; // frames the decoder gave, trim not counted
    std::optional<LONGLONG> origin_; // the first sample's time, where the decoder tells it
    int outRate_;
    int outChannels_;
    bool ended_ = false;
    bool sought_ = false;        // the frames' count comes from the seek's landing
    std::int64_t padding_ = 0;   // the encoder's padding, as LAME's header gives it
    std::vector<float> tail_;    // the last frames, kept back after a seek
    PcmConverter converter_;
    std::vector<float> native_;
};

} // namespace orvane
