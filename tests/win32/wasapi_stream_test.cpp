// The stream's own thread never waits for a file: an open or a seek that
// hangs on a share holds up neither the commands that follow nor the
// stream's end, and a resume far into a file is sought there rather than
// decoded to. The files here are fakes, the sound device is Wine's.

#include "win32/wasapi_stream.h"
#include "media_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace orvane::test {
namespace {

// Files of silence by name: "open" hangs in its open, "seek" in its seek,
// until released; every file lasts `seconds`. Notes where each was sought
// to and how many frames were decoded.
struct FakeFiles {
    double seconds = 0.3;

    std::mutex mutex;
    std::condition_variable changed;
    int hanging = 0;
    bool released = false;
    std::int64_t soughtTo = -1;
    std::int64_t decoded = 0;

    void hangIf(bool hang)
    {
        std::unique_lock lock(mutex);
        if (!hang || released)
            return;
        ++hanging;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
    }
    void waitForHanging(int count)
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return hanging >= count; });
    }
    void release()
    {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }

    static WasapiStream::OpenFile opener(const std::shared_ptr<FakeFiles>& files)
    {
        struct File : ReadAhead::Source {
            std::shared_ptr<FakeFiles> files;
            bool hangInSeek = false;
            std::size_t channels = 1;
            std::int64_t at = 0;
            std::int64_t length = 0;
            bool read(std::vector<float>& out) override
            {
                const std::int64_t n = std::min<std::int64_t>(1024, length - at);
                if (n <= 0)
                    return false;
                out.resize(out.size() + static_cast<std::size_t>(n) * channels, 0.0f);
                at += n;
                std::lock_guard lock(files->mutex);
                files->decoded += n;
                return true;
            }
            std::int64_t seek(std::int64_t frame) override
            {
                files->hangIf(hangInSeek);
                std::lock_guard lock(files->mutex);
                files->soughtTo = frame;
                return at = frame;
            }
        };
        return [files](const std::wstring& path, int rate, int channels) -> std::unique_ptr<ReadAhead::Source> {
            files->hangIf(path == L"open");
            auto file = std::make_unique<File>();
            file->files = files;
            file->hangInSeek = path == L"seek";
            file->channels = static_cast<std::size_t>(channels);
            file->length = std::llround(files->seconds * rate);
            return file;
        };
    }
};

struct Ends : WasapiStream::Listener {
    std::vector<std::pair<std::uint64_t, WasapiStream::End>> ends;
    void entryEnded(std::uint64_t entry, WasapiStream::End end) override { ends.emplace_back(entry, end); }
};

constexpr double kThreeHours = 3 * 3600.0;

class WasapiStreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        stream = std::make_unique<WasapiStream>(ends, FakeFiles::opener(files));
        if (!stream->ready() || !stream->deviceAtStart())
            GTEST_SKIP() << "no sound device: the failing path is tested by WasapiControlNoDevice";
    }
    void TearDown() override
    {
        files->release();
        stream.reset();
    }

    // Destroys the stream; false when that waited for the files to be
    // released (after a while, lest the test hang).
    bool goesWithoutWaiting()
    {
        auto gone = std::make_shared<std::promise<void>>();
        auto rescue = std::async(std::launch::async, [files = files, done = gone->get_future()] {
            const bool waited = done.wait_for(std::chrono::seconds(10)) != std::future_status::ready;
            files->release();
            return waited;
        });
        stream.reset();
        gone->set_value();
        return !rescue.get();
    }

    Ends ends;
    std::shared_ptr<FakeFiles> files = std::make_shared<FakeFiles>();
    std::unique_ptr<WasapiStream> stream;
};

TEST_F(WasapiStreamTest, CommandsAreAnsweredWhileAnOpenOrASeekHangs)
{
    using End = WasapiStream::End;
    const std::uint64_t hung = stream->loadReplacing(L"open", kThreeHours);
    files->waitForHanging(1);
    stream->setPaused(true);
    stream->setPaused(false);
    stream->stop();
    const std::uint64_t played = stream->loadReplacing(L"a", 0.0);
    ASSERT_TRUE(pumpUntil([&] { return !ends.ends.empty(); }));

    SCOPED_TRACE("a next file that hangs in its open, then a start that hangs in its seek");
    stream->loadReplacing(L"a", 0.0);
    const std::uint64_t next = stream->loadAfter(L"open");
    files->waitForHanging(2);
    stream->removeEntry(next);
    stream->loadReplacing(L"seek", kThreeHours);
    files->waitForHanging(3);
    stream->stop();
    const std::uint64_t last = stream->loadReplacing(L"b", 0.0);
    ASSERT_TRUE(pumpUntil([&] { return ends.ends.size() >= 2; }));
    pumpFor(300);
    EXPECT_EQ(ends.ends, (std::vector<std::pair<std::uint64_t, End>>{{played, End::PlayedOut}, {last, End::PlayedOut}}));
    EXPECT_NE(hung, last);

    SCOPED_TRACE("the stream goes while they still hang");
    stream->loadReplacing(L"open", 0.0);
    stream->loadAfter(L"open");
    files->waitForHanging(5);
    EXPECT_TRUE(goesWithoutWaiting());
}

// Three hours into a file it sounds from that very frame, sought there:
// nothing before it is decoded.
TEST_F(WasapiStreamTest, AResumeFarIntoAFileIsSoughtThereNotDecodedTo)
{
    files->seconds = kThreeHours + 0.3;
    const std::uint64_t entry = stream->loadReplacing(L"book", kThreeHours);
    ASSERT_TRUE(pumpUntil([&] { return !ends.ends.empty(); }));
    EXPECT_EQ(ends.ends, (std::vector<std::pair<std::uint64_t, WasapiStream::End>>{{entry, WasapiStream::End::PlayedOut}}));
    const double rate = stream->rate();
    const std::int64_t from = std::llround(kThreeHours * rate);
    const std::int64_t rest = std::llround((kThreeHours + 0.3) * rate) - from;
    const auto placed = stream->placements();
    ASSERT_FALSE(placed.empty());
    EXPECT_EQ(placed.back().end - placed.back().first, rest);
    std::lock_guard lock(files->mutex);
    EXPECT_EQ(files->soughtTo, from);
    EXPECT_EQ(files->decoded, rest);
}

// Each file's level is asked for on its own reading thread, once, with the
// path the stream was given: the one that follows as much as the first.
TEST_F(WasapiStreamTest, EachFileIsLevelledAsItOpens)
{
    std::mutex mutex;
    std::vector<std::wstring> asked;
    stream->setLevel([&](const std::wstring& path) -> std::optional<double> {
        std::lock_guard lock(mutex);
        asked.push_back(path);
        return 0.5;
    });
    const std::uint64_t first = stream->loadReplacing(L"first");
    stream->loadAfter(L"second");
    ASSERT_TRUE(pumpUntil([&] { return ends.ends.size() == 2; }));
    EXPECT_EQ(ends.ends.front(), std::make_pair(first, WasapiStream::End::PlayedOut));
    // Each file once; the read-ahead may open the second before the first.
    std::lock_guard lock(mutex);
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(asked, (std::vector<std::wstring>{L"first", L"second"}));
}

} // namespace
} // namespace orvane::test
