// A bounded queue that a library's thread hands copies to and the loop drains at its next turn.
// The loop never waits on the library: both sides hold the lock only to add one item or to swap the list.
#pragma once

#include <cstddef>
#include <mutex>
#include <utility>
#include <vector>

template <class Item>
class Inbox {
public:
    explicit Inbox(std::size_t capacity) : capacity_(capacity) {}

    // From any thread. False when the queue is full: the item is dropped, and the next drain says how many were.
    bool push(Item item) {
        const std::lock_guard lock(mutex_);
        if (items_.size() >= capacity_) {
            ++dropped_;
            return false;
        }
        items_.push_back(std::move(item));
        return true;
    }

    // The loop's: everything that waits, oldest first; `dropped` is set to what was dropped since the last drain.
    std::vector<Item> drain(std::size_t& dropped) {
        std::vector<Item> taken;
        const std::lock_guard lock(mutex_);
        taken.swap(items_);
        dropped = std::exchange(dropped_, 0);
        return taken;
    }

private:
    std::mutex mutex_;
    std::vector<Item> items_;
    const std::size_t capacity_;
    std::size_t dropped_ = 0;
};
