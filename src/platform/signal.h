#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace orvane {

// A change that any number of listeners may hear, in the order they
// connected. A listener may disconnect itself or another during the call:
// one disconnected before its turn is not called.
template <class... Args>
class Signal {
public:
    using Handle = std::uint64_t; // 0 is never a connection

    Handle connect(std::function<void(Args...)> listener)
    {
        slots_.push_back(std::make_shared<Slot>(Slot{++lastHandle_, std::move(listener)}));
        return lastHandle_;
    }

    void disconnect(Handle handle)
    {
        for (auto it = slots_.begin(); it != slots_.end(); ++it) {
            if ((*it)->handle == handle) {
                (*it)->handle = 0;
                slots_.erase(it);
                return;
            }
        }
    }

    void notify(Args... args) const
    {
        // A copy, so that connecting or disconnecting during the call leaves
        // this round as it was apart from the listeners gone meanwhile.
        const std::vector<std::shared_ptr<Slot>> round = slots_;
        for (const std::shared_ptr<Slot>& slot : round) {
            if (slot->handle != 0)
                slot->listener(args...);
        }
    }

    std::size_t listeners() const { return slots_.size(); }

private:
    struct Slot {
        Handle handle;
        std::function<void(Args...)> listener;
    };
    std::vector<std::shared_ptr<Slot>> slots_;
    Handle lastHandle_ = 0;
};

} // namespace orvane
