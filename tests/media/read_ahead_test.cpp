// A file's samples decoded ahead on a thread of their own: the feed takes
// what is ready and never waits for a read, however long one hangs on a
// share, and nothing of the file is lost, repeated or reordered.
#include "media/read_ahead.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace orvane {
namespace {

constexpr std::size_t kChannels = 2;

// A decoder of `total` frames in pieces of `piece`, frame n being {n, -n};
// the read of frame `hangAt` and after hangs until released, as on a share
// that has stalled, and so do its open and its seek where asked. It seeks,
// where it can, to a multiple of `seekStep` frames at or before the point,
// as an MP3 file's reader lands on a frame's start. It notes the threads it
// is read, entered and left on, and how many frames it decoded.
struct Decoder {
    enum class Hang { None, Open, Seek };
    std::int64_t total = 0;
    std::int64_t piece = 100;
    std::int64_t hangAt = -1;
    bool halfFrames = false; // each piece ends with half a frame more
    std::int64_t seekStep = 0; // 0: it cannot seek
    Hang hang = Hang::None;
    bool opens = true;

    std::mutex mutex;
    std::condition_variable changed;
    std::int64_t next = 0;
    std::int64_t decoded = 0;
    bool hanging = false;
    bool released = false;
    bool gone = false; // the reading thread has let the read go
    bool left = false;
    std::vector<std::thread::id> threads; // of each read, then enter and leave

    ReadAhead::Read read(const std::shared_ptr<Decoder>& self)
    {
        // Set once the read function (and with it the decoder it holds) is released.
        auto token = std::shared_ptr<void>(nullptr, [self](void*) {
            std::lock_guard lock(self->mutex);
            self->gone = true;
            self->changed.notify_all();
        });
        return [self, token](std::vector<float>& out) {
            std::unique_lock lock(self->mutex);
            self->threads.push_back(std::this_thread::get_id());
            if (self->next == self->hangAt && !self->released) {
                self->hanging = true;
                self->changed.notify_all();
                self->changed.wait(lock, [&] { return self->released; });
            }
            const std::int64_t end = std::min(self->total, self->next + self->piece);
            self->decoded += std::max<std::int64_t>(end - self->next, 0);
            for (; self->next < end; ++self->next)
                out.insert(out.end(), {static_cast<float>(self->next), -static_cast<float>(self->next)});
            if (self->halfFrames && !out.empty())
                out.push_back(0.5f);
            self->changed.notify_all(); // for a wait on how far it has read
            return !out.empty();
        };
    }
    // Waits, where asked to hang there, until released.
    void maybeHang(Hang at)
    {
        std::unique_lock lock(mutex);
        if (hang != at || released)
            return;
        hanging = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
    }
    // The decoder as a source that is opened, and sought where it can be.
    ReadAhead::Open open(const std::shared_ptr<Decoder>& self)
    {
        struct Source : ReadAhead::Source {
            std::shared_ptr<Decoder> decoder;
            ReadAhead::Read reading;
            bool read(std::vector<float>& out) override { return reading(out); }
            std::int64_t seek(std::int64_t frame) override
            {
                decoder->maybeHang(Hang::Seek);
                std::lock_guard lock(decoder->mutex);
                if (decoder->seekStep == 0)
                    return 0;
                decoder->next = frame / decoder->seekStep * decoder->seekStep;
                return decoder->next;
            }
        };
        return [self, reading = read(self)]() -> std::unique_ptr<ReadAhead::Source> {
            self->maybeHang(Hang::Open);
            if (!self->opens)
                return nullptr;
            auto source = std::make_unique<Source>();
            source->decoder = self;
            source->reading = reading;
            return source;
        };
    }
    ReadAhead::ThreadScope scope(const std::shared_ptr<Decoder>& self)
    {
        return {[self] {
                    std::lock_guard lock(self->mutex);
                    self->threads.push_back(std::this_thread::get_id());
                },
                [self] {
                    std::lock_guard lock(self->mutex);
                    EXPECT_TRUE(self->gone) << "the read is released before the thread leaves its scope";
                    self->left = true;
                    self->changed.notify_all();
                }};
    }
    template <typename Until>
    void waitUntil(Until until)
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return until(*this); });
    }
    void release()
    {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }
};

// Everything the reader gives, taken as the feed takes it, until the end.
std::vector<float> takeAll(ReadAhead& reader)
{
    std::vector<float> all;
    std::vector<float> buffer(441 * kChannels);
    while (!reader.ended()) {
        reader.waitFor(1);
        const std::size_t got = reader.take(buffer.data(), 441);
        all.insert(all.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got * kChannels));
    }
    return all;
}

std::vector<float> frames(std::int64_t from, std::int64_t to)
{
    std::vector<float> f;
    for (std::int64_t n = from; n < to; ++n)
        f.insert(f.end(), {static_cast<float>(n), -static_cast<float>(n)});
    return f;
}

TEST(ReadAhead, TheFeedTakesWhatIsReadyWhileAReadHangsAndNothingIsLost)
{
    auto decoder = std::make_shared<Decoder>();
    decoder->total = 5000;
    decoder->hangAt = 500;
    ReadAhead reader(decoder->read(decoder), kChannels, 1000, 0, decoder->scope(decoder));
    decoder->waitUntil([](Decoder& d) { return d.hanging; });

    // What was read before the hang is there at once; then nothing, and the
    // file has not ended: the feed goes on without waiting.
    std::vector<float> out(1000 * kChannels);
    ASSERT_EQ(reader.take(out.data(), 1000), 500u);
    out.resize(500 * kChannels);
    EXPECT_EQ(out, frames(0, 500));
    std::vector<float> more(kChannels);
    EXPECT_EQ(reader.take(more.data(), 1), 0u);
    EXPECT_FALSE(reader.ended());

    decoder->release();
    EXPECT_EQ(takeAll(reader), frames(500, 5000));
    decoder->waitUntil([](Decoder& d) { return d.left; });
    std::lock_guard lock(decoder->mutex);
    for (const std::thread::id& id : decoder->threads)
        EXPECT_NE(id, std::this_thread::get_id()) << "read on the feed's thread";
}

TEST(ReadAhead, DroppedWhileAReadHangsItReturnsAtOnceAndTheReadIsReleasedWhenItEnds)
{
    auto decoder = std::make_shared<Decoder>();
    decoder->total = 5000;
    decoder->hangAt = 0;
    auto reader = std::make_unique<ReadAhead>(decoder->read(decoder), kChannels, 1000, 0, decoder->scope(decoder));
    decoder->waitUntil([](Decoder& d) { return d.hanging; });
    reader.reset();
    {
        std::lock_guard lock(decoder->mutex);
        EXPECT_FALSE(decoder->gone);
    }
    decoder->release();
    decoder->waitUntil([](Decoder& d) { return d.left; });
    std::lock_guard lock(decoder->mutex);
    EXPECT_LT(decoder->next, 1000) << "no reading goes on once dropped";
    ASSERT_EQ(decoder->threads.size(), 2u); // enter, and the read that hung
    EXPECT_EQ(decoder->threads[0], decoder->threads[1]);
}

TEST(ReadAhead, DroppedWithItsReserveFullTheReadingThreadEnds)
{
    auto decoder = std::make_shared<Decoder>();
    decoder->total = 5000;
    auto reader = std::make_unique<ReadAhead>(decoder->read(decoder), kChannels, 300, 0, decoder->scope(decoder));
    decoder->waitUntil([](Decoder& d) { return d.next >= 300; });
    reader.reset();
    decoder->waitUntil([](Decoder& d) { return d.left; });
    std::lock_guard lock(decoder->mutex);
    EXPECT_EQ(decoder->next, 300) << "the reserve is read, and no more";
}

struct SkipCase {
    std::int64_t skip;
    std::int64_t piece;
    std::int64_t firstHeard; // -1: nothing is heard
    bool halfFrames = false;
    std::int64_t seekStep = -1; // -1: only read; 0: opened, and cannot seek
    std::int64_t decoded = 3000; // frames decoded to get there and to the end
};

class ReadAheadSkip : public testing::TestWithParam<SkipCase> {};

TEST_P(ReadAheadSkip, TheFramesBeforeTheStartAreNeverTaken)
{
    const SkipCase c = GetParam();
    auto decoder = std::make_shared<Decoder>();
    decoder->total = 3000;
    decoder->piece = c.piece;
    decoder->halfFrames = c.halfFrames;
    decoder->seekStep = std::max<std::int64_t>(c.seekStep, 0);
    auto reader = c.seekStep < 0 ? std::make_unique<ReadAhead>(decoder->read(decoder), kChannels, 700, c.skip)
                                 : std::make_unique<ReadAhead>(decoder->open(decoder), kChannels, 700, c.skip);
    EXPECT_EQ(takeAll(*reader), c.firstHeard < 0 ? std::vector<float>{} : frames(c.firstHeard, 3000));
    std::lock_guard lock(decoder->mutex);
    EXPECT_EQ(decoder->decoded, c.decoded) << "frames decoded";
}

// A source that seeks lands at or before the point, and what lies between
// is dropped; one that cannot is read from its start.
INSTANTIATE_TEST_SUITE_P(Starts, ReadAheadSkip,
                         testing::Values(SkipCase{0, 100, 0}, SkipCase{30, 100, 30}, SkipCase{100, 100, 100},
                                         SkipCase{2250, 100, 2250}, SkipCase{2999, 1152, 2999},
                                         SkipCase{30, 100, 30, true},
                                         SkipCase{3000, 100, -1}, SkipCase{90000, 1152, -1},
                                         SkipCase{2250, 100, 2250, false, 1, 750},
                                         SkipCase{2250, 1152, 2250, false, 1152, 3000 - 1152},
                                         SkipCase{2999, 100, 2999, true, 1000, 1000},
                                         SkipCase{1000, 100, 1000, false, 0, 3000},
                                         SkipCase{90000, 1152, -1, false, 1152, 0}));

// An open or a seek that hangs on a share holds up neither the feed nor
// the one who drops the file: nothing is ready and nothing has ended, the
// first buffer is not told of, and once it comes back the file is let go
// unread.
TEST(ReadAhead, AnOpenOrASeekThatHangsHoldsUpNothingAndTheFileIsLetGoUnread)
{
    for (const Decoder::Hang hang : {Decoder::Hang::Open, Decoder::Hang::Seek}) {
        SCOPED_TRACE(hang == Decoder::Hang::Open ? "open" : "seek");
        auto decoder = std::make_shared<Decoder>();
        decoder->total = 5000;
        decoder->seekStep = 1;
        decoder->hang = hang;
        auto told = std::make_shared<int>(0);
        auto reader = std::make_unique<ReadAhead>(decoder->open(decoder), kChannels, 1000, 4000,
                                                  decoder->scope(decoder),
                                                  ReadAhead::FirstBuffer{200, [told] { ++*told; }});
        decoder->waitUntil([](Decoder& d) { return d.hanging; });
        std::vector<float> out(kChannels);
        EXPECT_EQ(reader->take(out.data(), 1), 0u);
        EXPECT_FALSE(reader->ended());
        EXPECT_FALSE(reader->firstReady());
        EXPECT_FALSE(reader->unopenable());
        reader.reset();
        decoder->release();
        decoder->waitUntil([](Decoder& d) { return d.left; });
        std::lock_guard lock(decoder->mutex);
        EXPECT_EQ(decoder->decoded, 0);
        EXPECT_EQ(*told, 0);
    }
}

// The first buffer is told of once, from the reading thread, when it is
// ready; a file that cannot be opened tells of it too, and says why.
TEST(ReadAhead, TheFirstBufferIsToldOfOnceReadyOrWhenTheFileCannotBeOpened)
{
    for (const bool opens : {true, false}) {
        SCOPED_TRACE(opens ? "opened" : "unopenable");
        auto decoder = std::make_shared<Decoder>();
        decoder->total = 5000;
        decoder->seekStep = 1;
        decoder->opens = opens;
        struct Told {
            std::mutex mutex;
            std::condition_variable changed;
            int times = 0;
            std::thread::id thread;
        };
        auto told = std::make_shared<Told>();
        ReadAhead reader(decoder->open(decoder), kChannels, 1000, 1000, {},
                         ReadAhead::FirstBuffer{300, [told] {
                                                    std::lock_guard lock(told->mutex);
                                                    ++told->times;
                                                    told->thread = std::this_thread::get_id();
                                                    told->changed.notify_all();
                                                }});
        {
            std::unique_lock lock(told->mutex);
            told->changed.wait(lock, [&] { return told->times > 0; });
            EXPECT_NE(told->thread, std::this_thread::get_id());
        }
        EXPECT_TRUE(reader.firstReady());
        EXPECT_EQ(reader.unopenable(), !opens);
        if (opens) {
            std::vector<float> out(300 * kChannels);
            EXPECT_EQ(reader.take(out.data(), 300), 300u) << "the first buffer is ready";
            EXPECT_EQ(out, frames(1000, 1300));
        }
        EXPECT_EQ(takeAll(reader), opens ? frames(1300, 5000) : std::vector<float>{});
        std::lock_guard lock(told->mutex);
        EXPECT_EQ(told->times, 1);
    }
}

} // namespace
} // namespace orvane
