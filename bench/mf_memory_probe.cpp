// The Windows program's private memory per file opened, taken apart: Media
// Foundation's own source reader with no code of the program's around it,
// the program's decoder on it, and the WASAPI control playing the files one
// after another with the next file named, as the player plays a folder.
// Built and run under Wine by bench/mf_memory_bench.sh:
//
//   mf_memory_probe.exe reader|decoder|control FILES TONE
//
// It prints the private memory after a quarter of the files (by then what
// decoding needs once has been loaded) and at the end, and their difference
// per file.

#include "platform/win_text.h"
#include "win32/mf_decoder.h"
#include "win32/wasapi_control.h"
#include "win32/win_window.h"

#include <psapi.h>

#include <cstdio>
#include <functional>
#include <string>

using namespace orvane;
using Microsoft::WRL::ComPtr;

namespace {

// Private memory: the commit charge on Windows, the anonymous resident
// memory under Wine.
double privateKib()
{
    Sleep(300); // what is released off the calling thread has gone
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.PagefileUsage) / 1024.0;
}

struct Slope {
    int files = 0;
    int from = 0;
    double fromKib = 0.0;

    void opened(int file)
    {
        if (file == files / 4) {
            from = file;
            fromKib = privateKib();
        }
    }
    void report(const char* what) const
    {
        const double to = privateKib();
        std::printf("%-8s %+6.1f kB per file opened (files %d to %d), private memory %.1f -> %.1f MiB\n", what,
                    (to - fromKib) / (files - from), from, files, fromKib / 1024.0, to / 1024.0);
    }
};

// Opened, read to its end and released, with nothing of the program's.
bool readWithReaderAlone(const MediaFoundation& mf, const std::wstring& path)
{
    ComPtr<IMFByteStream> stream;
    ComPtr<IMFSourceReader> reader;
    if (FAILED(mf.createFile(MF_ACCESSMODE_READ, MF_OPENMODE_FAIL_IF_NOT_EXIST, MF_FILEFLAGS_NONE, path.c_str(),
                             &stream))
        || FAILED(mf.createReader(stream.Get(), nullptr, &reader)))
        return false;
    for (;;) {
        DWORD flags = 0;
        ComPtr<IMFSample> sample;
        if (FAILED(reader->ReadSample(static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM), 0, nullptr, &flags,
                                      nullptr, &sample))
            || (flags & MF_SOURCE_READERF_ENDOFSTREAM))
            return true;
    }
}

bool decodeWhole(const std::wstring& path)
{
    auto decoder = MfDecoder::open(path, 44100, 2);
    std::vector<float> samples;
    while (decoder && decoder->read(samples))
        samples.clear();
    return decoder != nullptr;
}

void pumpUntil(const std::function<bool()>& done)
{
    while (!done()) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

// Each end answered with "Close", the next file opened and played at once
// and its follower named: every file is opened once, as the next file.
bool playAll(const std::string& tone, Slope& slope)
{
    WasapiControl control;
    if (!control.isReady())
        return false;
    int done = 0;
    bool failed = false;
    const auto start = [&] {
        control.setFileName(tone);
        control.setCommand("Open");
        control.setCommand("Play");
        control.setNextFileName(tone);
    };
    control.setDoneHandler([&](int code) {
        failed = failed || code != MMControl::NotifySuccessful;
        control.setCommand("Close");
        slope.opened(++done);
        if (done < slope.files && !failed)
            start();
    });
    start();
    pumpUntil([&] { return done >= slope.files || failed; });
    control.setCommand("Close");
    return !failed;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 3 ? argv[1] : L"";
    Slope slope{argc > 3 ? _wtoi(argv[2]) : 0};
    const MediaFoundation* mf = MediaFoundation::get();
    const auto path = argc > 3 ? win::fullPath(win::narrow(argv[3])) : std::nullopt;
    if (!mf || !path || slope.files < 4) {
        std::fprintf(stderr, "usage: mf_memory_probe reader|decoder|control FILES TONE (with Media Foundation)\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool ok = true;
    if (mode == L"control") {
        ok = playAll(win::narrow(*path), slope);
    } else {
        for (int file = 1; file <= slope.files && ok; ++file) {
            ok = mode == L"reader" ? readWithReaderAlone(*mf, *path) : decodeWhole(*path);
            slope.opened(file);
        }
    }
    if (!ok) {
        std::fprintf(stderr, "mf_memory_probe: the tone did not play\n");
        return 1;
    }
    slope.report(win::narrow(mode).c_str());
    return 0;
}
