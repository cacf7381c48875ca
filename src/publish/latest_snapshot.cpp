// The latest-snapshot slot: a pointer swapped under a mutex, a generation count and a condition variable
// on which the streams wait for the next one.
#include "publish/latest_snapshot.h"

#include <utility>

void LatestSnapshot::publish(std::shared_ptr<const RaceSnapshot> snapshot) {
    {
        const std::lock_guard lock(mutex_);
        snapshot_.swap(snapshot);
        ++generation_;
    }
    changed_.notify_all();
    // The snapshot replaced is released here, outside the lock: a reader may still hold it.
}

LatestSnapshot::Seen LatestSnapshot::latest() const {
    const std::lock_guard lock(mutex_);
    return {snapshot_, generation_, closed_};
}

LatestSnapshot::Seen LatestSnapshot::waitNewer(std::uint64_t generation,
                                               std::chrono::steady_clock::time_point until) const {
    std::unique_lock lock(mutex_);
    changed_.wait_until(lock, until, [&] { return closed_ || generation_ != generation; });
    return {snapshot_, generation_, closed_};
}

void LatestSnapshot::close() {
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}
