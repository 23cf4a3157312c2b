#pragma once

#include "player/place.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace orvane {

// Stores the place from a thread of its own, so that the window never waits
// for the file system that holds it (a home folder on a share that is slow
// or has stopped answering, another copy's lock): save and forget hand their
// change over and return at once. Changes are made in the order given, but
// of those still waiting only the newest is made: a place overtaken by a
// newer one before it could be written is never written.
class PlaceWriter final : public PlaceStore {
public:
    // How long the program's end waits for the last change: far longer than
    // a store takes on a disk that answers, short enough that a home folder
    // that hangs never keeps the program from ending.
    static constexpr std::chrono::milliseconds ExitWait{500};

    explicit PlaceWriter(std::unique_ptr<PlaceStore> store);
    // Waits for the changes given as finish does, at most ExitWait.
    ~PlaceWriter() override;
    PlaceWriter(const PlaceWriter&) = delete;
    PlaceWriter& operator=(const PlaceWriter&) = delete;

    // The store's text, read on the caller's thread once the change being
    // made is done (at start, before any is given).
    std::string load() override;
    void save(const std::string& text) override;
    void forget() override;

    // Waits until every change given has been made, but no longer than wait:
    // false when the store is still busy then. A store that never answers
    // is left to the end of the process, with what it was given.
    bool finish(std::chrono::milliseconds wait);

private:
    struct Shared;
    void give(bool forget, const std::string& text);

    std::shared_ptr<Shared> shared_; // the thread's too, should it outlive the writer
    std::thread thread_;
};

} // namespace orvane
