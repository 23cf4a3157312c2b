#include "win32/mf_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace orvane {

using Microsoft::WRL::ComPtr;

namespace {

template <typename F>
bool find(HMODULE module, const char* name, F& function)
{
    function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return function != nullptr;
}

// What LAME's header says of the file: its first bytes, past any ID3v2 tag.
std::optional<LameInfo> lameInfoOf(IMFByteStream* stream)
{
    std::vector<unsigned char> head(10);
    ULONG got = 0;
    if (FAILED(stream->Read(head.data(), 10, &got)) || got < 10)
        return std::nullopt;
    std::size_t tag = 0;
    if (head[0] == 'I' && head[1] == 'D' && head[2] == '3')
        tag = (std::size_t{head[6]} & 0x7F) << 21 | (std::size_t{head[7]} & 0x7F) << 14
            | (std::size_t{head[8]} & 0x7F) << 7 | (head[9] & 0x7F);
    // A first frame has at most about 1.5 KiB; a huge tag is not read at all.
    constexpr std::size_t kLimit = std::size_t{16} << 20;
    if (tag > kLimit)
        return std::nullopt;
    head.resize(10 + 10 + tag + 4096);
    if (FAILED(stream->Read(head.data() + 10, static_cast<ULONG>(head.size() - 10), &got)))
        return std::nullopt;
    head.resize(10 + got);
    return readLameInfo(head);
}

ComPtr<IMFMediaType> audioType(const MediaFoundation& mf, const GUID& subtype)
{
    ComPtr<IMFMediaType> type;
    if (FAILED(mf.createMediaType(&type)) || FAILED(type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio))
        || FAILED(type->SetGUID(MF_MT_SUBTYPE, subtype)))
        return nullptr;
    if (subtype == MFAudioFormat_PCM)
        type->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
    return type;
}

constexpr DWORD kAudio = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);

// Media Foundation's times are in 100 ns.
constexpr LONGLONG kTimeUnits = 10'000'000;

// A seek lands this many of the decoder's frames before the point it is
// for: the decoder settles there, as an MP3 frame takes part of its data
// from the frames before it and its first samples overlap the last frame's.
constexpr std::int64_t kSettleFrames = 4 * 1152;

// A rate converter started afresh lacks the frames before its start: its
// taps reach this far back (and as far forward).
constexpr std::int64_t kConverterReach = 32;

bool setPosition(IMFSourceReader* reader, LONGLONG time)
{
    PROPVARIANT position;
    PropVariantInit(&position);
    position.vt = VT_I8;
    position.hVal.QuadPart = time;
    return SUCCEEDED(reader->SetCurrentPosition(GUID_NULL, position));
}

// A reader of the file's first audio stream alone, and what LAME's header
// says of the file.
ComPtr<IMFSourceReader> openReader(const MediaFoundation& mf, const std::wstring& path, std::optional<LameInfo>& info)
{
    ComPtr<IMFByteStream> stream;
    if (FAILED(mf.createFile(MF_ACCESSMODE_READ, MF_OPENMODE_FAIL_IF_NOT_EXIST, MF_FILEFLAGS_NONE, path.c_str(),
                             &stream)))
        return nullptr;
    info = lameInfoOf(stream.Get());
    ComPtr<IMFSourceReader> reader;
    if (FAILED(stream->SetCurrentPosition(0)) || FAILED(mf.createReader(stream.Get(), nullptr, &reader)))
        return nullptr;
    reader->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE);
    if (FAILED(reader->SetStreamSelection(kAudio, TRUE)))
        return nullptr;
    return reader;
}

struct NativeFormat {
    int rate = 0;
    int channels = 0;
    bool isFloat = true;
};

// The decoder's own rate and channels, as float samples where it gives them,
// else as 16-bit ones: the conversion to the output's is done here, the same
// on every system.
std::optional<NativeFormat> nativeFormat(const MediaFoundation& mf, IMFSourceReader* reader)
{
    bool isFloat = true;
    auto wanted = audioType(mf, MFAudioFormat_Float);
    if (!wanted || FAILED(reader->SetCurrentMediaType(kAudio, nullptr, wanted.Get()))) {
        isFloat = false;
        wanted = audioType(mf, MFAudioFormat_PCM);
        if (!wanted || FAILED(reader->SetCurrentMediaType(kAudio, nullptr, wanted.Get())))
            return std::nullopt;
    }
    ComPtr<IMFMediaType> current;
    UINT32 rate = 0, channels = 0, bits = 0;
    if (FAILED(reader->GetCurrentMediaType(kAudio, &current))
        || FAILED(current->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate))
        || FAILED(current->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels))
        || FAILED(current->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits)) || rate == 0 || channels == 0
        || channels > 8 || bits != (isFloat ? 32u : 16u))
        return std::nullopt;
    return NativeFormat{static_cast<int>(rate), static_cast<int>(channels), isFloat};
}

// The file's length in frames as the decoder tells it, -1 when it does not.
std::int64_t lengthOf(IMFSourceReader* reader, int rate)
{
    std::int64_t length = -1;
    PROPVARIANT duration;
    PropVariantInit(&duration);
    if (SUCCEEDED(reader->GetPresentationAttribute(static_cast<DWORD>(MF_SOURCE_READER_MEDIASOURCE), MF_PD_DURATION,
                                                   &duration))
        && duration.vt == VT_UI8)
        length = std::llround(static_cast<double>(duration.uhVal.QuadPart) * rate / 1e7);
    PropVariantClear(&duration);
    return length;
}

} // namespace

const MediaFoundation* MediaFoundation::get()
{
    static const MediaFoundation* const loaded = [] () -> const MediaFoundation* {
        // From the system folder only, never from beside the program.
        const HMODULE plat = LoadLibraryExW(L"mfplat.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        const HMODULE readwrite = LoadLibraryExW(L"mfreadwrite.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!plat || !readwrite)
            return nullptr;
        static MediaFoundation mf;
        HRESULT(WINAPI * startup)(ULONG, DWORD) = nullptr;
        if (!find(plat, "MFStartup", startup) || !find(plat, "MFCreateFile", mf.createFile)
            || !find(plat, "MFCreateMediaType", mf.createMediaType)
            || !find(readwrite, "MFCreateSourceReaderFromByteStream", mf.createReader))
            return nullptr;
        // Started for the rest of the process: decoders come and go on the
        // reading threads of their own until the program ends.
        if (FAILED(startup(MF_VERSION, MFSTARTUP_LITE)))
            return nullptr;
        return &mf;
    }();
    return loaded;
}

std::unique_ptr<MfDecoder> MfDecoder::open(const std::wstring& path, int outRate, int outChannels)
{
    const MediaFoundation* mf = MediaFoundation::get();
    if (!mf || path.empty())
        return nullptr;
    std::optional<LameInfo> info;
    ComPtr<IMFSourceReader> reader = openReader(*mf, path, info);
    const std::optional<NativeFormat> format = reader ? nativeFormat(*mf, reader.Get()) : std::nullopt;
    if (!format)
        return nullptr;
    // The decoder's length, before any sample is read: it decides the trim
    // at the start, and the trim's length holds whatever the decoder gives.
    const std::int64_t length = lengthOf(reader.Get(), format->rate);
    const Trim trim = length >= 0 ? trimFor(info, length, format->rate) : Trim{};
    std::unique_ptr<MfDecoder> decoder(new MfDecoder(std::move(reader), format->rate, format->channels, format->isFloat,
                                                     trim, outRate > 0 ? outRate : format->rate,
                                                     outChannels > 0 ? outChannels : format->channels));
    if (info && info->sampleRate == format->rate)
        decoder->padding_ = info->padding;
    // A file that gives no sound at all is no file to play.
    if (!decoder->readNative(decoder->native_))
        return nullptr;
    return decoder;
}

MfDecoder::MfDecoder(ComPtr<IMFSourceReader> reader, int rate, int channels, bool isFloat, Trim trim, int outRate,
                     int outChannels)
    : reader_(std::move(reader))
    , rate_(rate)
    , channels_(channels)
    , float_(isFloat)
    , trim_(trim)
    , from_(trim.skip)
    , outRate_(outRate)
    , outChannels_(outChannels)
    , converter_(rate, channels, outRate, outChannels)
{
}

std::int64_t MfDecoder::seek(std::int64_t frame)
{
    if (!reader_ || frame <= 0 || !origin_)
        return 0;
    // A converter started afresh at a multiple of `inStep` of the file's
    // frames gives exactly the output frames from the matching multiple of
    // `outStep` on, once its taps reach no further back than its start.
    const std::int64_t common = std::gcd(rate_, outRate_);
    const std::int64_t inStep = rate_ / common;
    const std::int64_t outStep = outRate_ / common;
    const std::int64_t point = frame * rate_ / outRate_ - (rate_ == outRate_ ? 0 : kConverterReach);
    if (point <= 0)
        return 0;
    const std::int64_t start = point / inStep * inStep; // of the sound, past the trim
    const std::int64_t landed = start / inStep * outStep;
    if (trim_.keep >= 0 && start >= trim_.keep) {
        // Past the sound's end: nothing follows.
        reader_.Reset();
        native_.clear();
        ended_ = true;
        return frame;
    }
    const std::int64_t at = trim_.skip + start; // the decoder's frame
    const std::int64_t settle = at - kSettleFrames;
    // Near the start the decoding from there costs little.
    if (settle <= 0 || !setPosition(reader_.Get(), *origin_ + settle * kTimeUnits / rate_))
        return 0;
    native_.clear();
    converter_ = PcmConverter(rate_, channels_, outRate_, outChannels_);
    from_ = at;
    while (reader_ && native_.empty()) {
        ComPtr<IMFSample> sample;
        if (!nextSample(sample)) {
            // The file ends before the point: nothing follows.
            reader_.Reset();
            return frame;
        }
        if (!sample)
            continue;
        // A reader that lands past the point, or cannot say where it
        // landed, leaves no exact way there but from the beginning.
        const std::optional<std::int64_t> first = frameOf(sample.Get());
        if (!first || *first > at)
            return startOver() ? 0 : frame;
        appendSample(sample.Get(), *first, native_);
    }
    sought_ = true;
    return landed;
}

// The decoder's frame the sample starts at, by its time.
std::optional<std::int64_t> MfDecoder::frameOf(IMFSample* sample) const
{
    LONGLONG time = 0;
    if (!origin_ || FAILED(sample->GetSampleTime(&time)) || time < *origin_)
        return std::nullopt;
    return ((time - *origin_) * rate_ + kTimeUnits / 2) / kTimeUnits;
}

// False, with nothing more to read, where the reader cannot go back.
bool MfDecoder::startOver()
{
    native_.clear();
    converter_ = PcmConverter(rate_, channels_, outRate_, outChannels_);
    decoded_ = 0;
    from_ = trim_.skip;
    ended_ = false;
    sought_ = false;
    if (reader_ && setPosition(reader_.Get(), *origin_))
        return true;
    reader_.Reset();
    return false;
}

bool MfDecoder::read(std::vector<float>& out)
{
    const std::size_t before = out.size();
    while (out.size() == before) {
        if (native_.empty() && !readNative(native_)) {
            if (ended_)
                return false;
            ended_ = true;
            releaseTail();
            if (!native_.empty())
                converter_.push(native_, out);
            native_.clear();
            converter_.finish(out);
            return out.size() != before;
        }
        holdTail();
        if (!native_.empty())
            converter_.push(native_, out);
        native_.clear();
    }
    return true;
}

// After a seek the decoder's own cut of the encoder's padding at the end
// cannot be relied on (Wine's counts the frames from where its seek thinks
// it landed, and leaves the padding in): as many frames as the padding holds
// are kept back from the end, and those of them that are silence after the
// last sound go, so that the next file follows the sound without a gap. A
// file sought in that truly ends in silence loses that much of it at most.
void MfDecoder::holdTail()
{
    if (!sought_ || padding_ <= 0)
        return;
    const auto held = static_cast<std::size_t>(padding_) * static_cast<std::size_t>(channels_);
    tail_.insert(tail_.end(), native_.begin(), native_.end());
    native_.clear();
    if (tail_.size() <= held)
        return;
    const auto past = tail_.end() - static_cast<std::ptrdiff_t>(held);
    native_.assign(tail_.begin(), past);
    tail_.erase(tail_.begin(), past);
}

void MfDecoder::releaseTail()
{
    // Below this the padding's decoded silence lies, with what the coding
    // spreads of the last sound into it (40 dB down).
    constexpr float kSilence = 0.01f;
    const auto channels = static_cast<std::size_t>(channels_);
    std::size_t frames = tail_.size() / channels;
    while (frames > 0 && std::all_of(tail_.begin() + static_cast<std::ptrdiff_t>((frames - 1) * channels),
                                     tail_.begin() + static_cast<std::ptrdiff_t>(frames * channels),
                                     [](float v) { return std::abs(v) < kSilence; }))
        --frames;
    native_.insert(native_.end(), tail_.begin(), tail_.begin() + static_cast<std::ptrdiff_t>(frames * channels));
    tail_.clear();
}

bool MfDecoder::sameFormat() const
{
    ComPtr<IMFMediaType> current;
    UINT32 rate = 0, channels = 0;
    return SUCCEEDED(reader_->GetCurrentMediaType(kAudio, &current))
        && SUCCEEDED(current->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate))
        && SUCCEEDED(current->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels))
        && rate == static_cast<UINT32>(rate_) && channels == static_cast<UINT32>(channels_);
}

bool MfDecoder::readNative(std::vector<float>& native)
{
    while (reader_ && native.empty()) {
        ComPtr<IMFSample> sample;
        if (!nextSample(sample)) {
            reader_.Reset();
            break;
        }
        if (!sample)
            continue;
        if (decoded_ == 0 && !origin_) {
            LONGLONG time = 0;
            if (SUCCEEDED(sample->GetSampleTime(&time)))
                origin_ = time;
        }
        appendSample(sample.Get(), decoded_, native);
    }
    return !native.empty();
}

bool MfDecoder::appendSample(IMFSample* sample, std::int64_t first, std::vector<float>& native)
{
    ComPtr<IMFMediaBuffer> buffer;
    BYTE* data = nullptr;
    DWORD bytes = 0;
    if (FAILED(sample->ConvertToContiguousBuffer(&buffer)) || FAILED(buffer->Lock(&data, nullptr, &bytes)))
        return false;
    decoded_ = first;
    appendSound(data, bytes, native);
    buffer->Unlock();
    if (trim_.keep >= 0 && decoded_ >= trim_.skip + trim_.keep)
        reader_.Reset(); // the rest is padding
    return true;
}

// False at the end of the file, or where it cannot be decoded further.
bool MfDecoder::nextSample(ComPtr<IMFSample>& sample)
{
    DWORD flags = 0;
    // Another rate or channel count mid-file would play at the wrong speed:
    // the file ends there instead.
    return SUCCEEDED(reader_->ReadSample(kAudio, 0, nullptr, &flags, nullptr, &sample))
        && !(flags & (MF_SOURCE_READERF_ENDOFSTREAM | MF_SOURCE_READERF_ERROR))
        && !((flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) && !sameFormat());
}

// Only the part between the trim's start (or a seek's point) and the trim's
// end is sound.
void MfDecoder::appendSound(const BYTE* data, std::size_t bytes, std::vector<float>& native)
{
    const auto channels = static_cast<std::size_t>(channels_);
    const std::size_t sampleSize = float_ ? 4 : 2;
    const std::size_t frames = bytes / (sampleSize * channels);
    const std::int64_t first = decoded_;
    decoded_ += static_cast<std::int64_t>(frames);
    const std::int64_t from = std::max<std::int64_t>(from_ - first, 0);
    std::int64_t to = static_cast<std::int64_t>(frames);
    if (trim_.keep >= 0)
        to = std::min(to, trim_.skip + trim_.keep - first);
    for (std::int64_t f = from; f < to; ++f)
        for (std::size_t c = 0; c < channels; ++c) {
            const std::size_t i = static_cast<std::size_t>(f) * channels + c;
            if (float_) {
                float v;
                std::memcpy(&v, data + i * 4, 4);
                native.push_back(v);
            } else {
                std::int16_t v;
                std::memcpy(&v, data + i * 2, 2);
                native.push_back(static_cast<float>(v) / 32768.0f);
            }
        }
}

} // namespace orvane
