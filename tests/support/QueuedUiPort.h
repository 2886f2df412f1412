#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "support/TestSupport.h"

namespace vessamo::test {

// A main thread of our own: workers queue their interface work and wait
// until the test runs it, as a real event loop would.
class QueuedUiPort : public RecordingUiPort {
public:
    void runOnMainThreadAndWait(const std::function<void()>& work) override {
        std::unique_lock lock(mutex_);
        bool done = false;
        queue_.push_back({&work, &done});
        changed_.notify_all();
        changed_.wait(lock, [&] { return done; });
    }
    void waitForQueued(size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return queue_.size() >= count; });
    }
    // Runs the queued work on the calling thread; newest first when asked.
    void pump(bool newestFirst = false) {
        std::unique_lock lock(mutex_);
        while (!queue_.empty()) {
            Item item = newestFirst ? queue_.back() : queue_.front();
            newestFirst ? queue_.pop_back() : queue_.pop_front();
            lock.unlock();
            (*item.work)();
            lock.lock();
            *item.done = true;
            changed_.notify_all();
        }
    }

private:
    struct Item {
        const std::function<void()>* work;
        bool* done;
    };
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> queue_;
};

}  // namespace vessamo::test
