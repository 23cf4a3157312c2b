#include "settings/place_writer.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <utility>

namespace orvane {

namespace {

struct Change {
    bool forget = false;
    std::string text;
};

} // namespace

struct PlaceWriter::Shared {
    explicit Shared(std::unique_ptr<PlaceStore> s) : store(std::move(s)) {}

    std::unique_ptr<PlaceStore> store;
    std::mutex storeMutex; // held while the store is used, apart from the queue's
    std::mutex mutex;
    std::condition_variable changed;
    std::optional<Change> waiting; // the newest change not yet begun
    bool busy = false;             // a change is being made
    bool ending = false;

    // The writer's thread: each change in turn until the writer ends.
    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return waiting || ending; });
            if (!waiting)
                return;
            const Change change = std::move(*waiting);
            waiting.reset();
            busy = true;
            lock.unlock();
            make(change);
            lock.lock();
            busy = false;
            changed.notify_all();
        }
    }

    void make(const Change& change)
    {
        std::lock_guard guard(storeMutex);
        try {
            if (change.forget)
                store->forget();
            else
                store->save(change.text);
        } catch (const std::exception&) {
            // Not stored now: the next change tries again, as a place
            // stored every few seconds does.
        }
    }
};

PlaceWriter::PlaceWriter(std::unique_ptr<PlaceStore> store)
    : shared_(std::make_shared<Shared>(std::move(store)))
    , thread_([shared = shared_] { shared->run(); })
{
}

PlaceWriter::~PlaceWriter()
{
    const bool done = finish(ExitWait);
    {
        std::lock_guard lock(shared_->mutex);
        shared_->ending = true;
    }
    shared_->changed.notify_all();
    if (done)
        thread_.join();
    else
        thread_.detach(); // stuck in the file system; it holds what it needs
}

std::string PlaceWriter::load()
{
    std::lock_guard guard(shared_->storeMutex);
    return shared_->store->load();
}

void PlaceWriter::save(const std::string& text)
{
    give(false, text);
}

void PlaceWriter::forget()
{
    give(true, {});
}

void PlaceWriter::give(bool forget, const std::string& text)
{
    {
        std::lock_guard lock(shared_->mutex);
        shared_->waiting = Change{forget, text};
    }
    shared_->changed.notify_all();
}

bool PlaceWriter::finish(std::chrono::milliseconds wait)
{
    std::unique_lock lock(shared_->mutex);
    return shared_->changed.wait_for(lock, wait, [this] { return !shared_->waiting && !shared_->busy; });
}

} // namespace orvane
