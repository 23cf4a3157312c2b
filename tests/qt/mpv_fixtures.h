#pragma once

// Small audio files and event-loop helpers for tests and benchmarks of the
// libmpv media control. Header-only so that benchmarks can use it too.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

#include <cmath>
#include <numbers>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include <unistd.h>

namespace orvane::testing {

// A fresh folder under the system's temporary folder, removed with its
// contents at destruction.
class MpvTempDir {
public:
    MpvTempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvane-mpv-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder");
        path_ = pattern;
    }
    ~MpvTempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    MpvTempDir(const MpvTempDir&) = delete;
    MpvTempDir& operator=(const MpvTempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

inline std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The bytes of an MP3 file holding a 440 Hz tone of the given length (or
// silence), encoded by lame from generated PCM. Each kind is encoded once per
// process.
inline const std::string& sineMp3(double seconds, bool silent = false)
{
    static std::map<long, std::string> cache;
    const long key = std::lround(seconds * 1000.0) * 2 + (silent ? 1 : 0);
    auto found = cache.find(key);
    if (found != cache.end())
        return found->second;

    constexpr int rate = 44100;
    const long frames = std::lround(seconds * rate);
    std::string pcm;
    pcm.reserve(static_cast<size_t>(frames) * 2);
    for (long i = 0; i < frames; ++i) {
        const auto sample = static_cast<int16_t>((silent ? 0.0 : 8000.0) * std::sin(2.0 * std::numbers::pi * 440.0 * i / rate));
        const auto bits = static_cast<uint16_t>(sample);
        pcm.push_back(static_cast<char>(bits & 0xff));
        pcm.push_back(static_cast<char>(bits >> 8));
    }
    MpvTempDir work;
    writeBytes(work.file("tone.raw"), pcm);
    QProcess lame;
    lame.start("lame", {"--quiet", "-r", "-s", "44.1", "--bitwidth", "16", "--signed",
                        "--little-endian", "-m", "m", QString::fromStdString(work.file("tone.raw")),
                        QString::fromStdString(work.file("tone.mp3"))});
    if (!lame.waitForFinished(60000) || lame.exitStatus() != QProcess::NormalExit || lame.exitCode() != 0)
        throw std::runtime_error("lame could not encode the test tone");
    return cache[key] = readBytes(work.file("tone.mp3"));
}

inline void writeSineMp3(const std::string& path, double seconds, bool silent = false)
{
    writeBytes(path, sineMp3(seconds, silent));
}

// Runs the event loop until the condition holds or the time is up; returns
// the condition's last value.
inline bool spinUntil(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

inline void spinFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

} // namespace orvane::testing
