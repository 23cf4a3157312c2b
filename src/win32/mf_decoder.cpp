#include "win32/mf_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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
        // output's thread until the program ends.
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
    std::unique_ptr<MfDecoder> decoder(
        new MfDecoder(std::move(reader), format->rate, format->channels, format->isFloat, trim, outRate, outChannels));
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
    , converter_(rate, channels, outRate, outChannels)
{
}

bool MfDecoder::read(std::vector<float>& out)
{
    const std::size_t before = out.size();
    while (out.size() == before) {
        if (native_.empty() && !readNative(native_)) {
            if (ended_)
                return false;
            ended_ = true;
            converter_.finish(out);
            return out.size() != before;
        }
        converter_.push(native_, out);
        native_.clear();
    }
    return true;
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
        ComPtr<IMFMediaBuffer> buffer;
        BYTE* data = nullptr;
        DWORD bytes = 0;
        if (!sample || FAILED(sample->ConvertToContiguousBuffer(&buffer)) || FAILED(buffer->Lock(&data, nullptr, &bytes)))
            continue;
        appendSound(data, bytes, native);
        buffer->Unlock();
        if (trim_.keep >= 0 && decoded_ >= trim_.skip + trim_.keep)
            reader_.Reset(); // the rest is padding
    }
    return !native.empty();
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

// Only the part between the trim's start and its end is sound.
void MfDecoder::appendSound(const BYTE* data, std::size_t bytes, std::vector<float>& native)
{
    const auto channels = static_cast<std::size_t>(channels_);
    const std::size_t sampleSize = float_ ? 4 : 2;
    const std::size_t frames = bytes / (sampleSize * channels);
    const std::int64_t first = decoded_;
    decoded_ += static_cast<std::int64_t>(frames);
    const std::int64_t from = std::max<std::int64_t>(trim_.skip - first, 0);
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
