// The hand-off between the loop and the threads of the outward faces: the latest finished snapshot,
// swapped under a small lock; readers take the newest one, never a queue of old ones.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "publish/snapshot.h"

class LatestSnapshot {
public:
    struct Seen {
        std::shared_ptr<const RaceSnapshot> snapshot;  // nothing before the first publication
        std::uint64_t generation = 0;                  // publications so far
        bool closed = false;
    };

    // The loop: replaces the snapshot and wakes every waiting reader. The lock is held for a pointer swap.
    void publish(std::shared_ptr<const RaceSnapshot> snapshot);
    Seen latest() const;
    // A reader: waits until a snapshot newer than `generation` is published, `until` passes or the slot
    // closes, and returns what is latest then.
    Seen waitNewer(std::uint64_t generation, std::chrono::steady_clock::time_point until) const;
    // At shutdown: wakes every reader for good.
    void close();

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::shared_ptr<const RaceSnapshot> snapshot_;
    std::uint64_t generation_ = 0;
    bool closed_ = false;
};
