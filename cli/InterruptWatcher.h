#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace vessamo::cli {

// Turns Ctrl-C into a call on a thread of its own, so the scan can be
// stopped cleanly and still print what it found. Construct it before any
// other thread starts: threads inherit the blocked signal mask.
class InterruptWatcher {
public:
    explicit InterruptWatcher(std::function<void()> onInterrupt);
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

private:
    std::function<void()> onInterrupt_;
    std::atomic<bool> done_{false};
    std::thread watcher_;
};

}  // namespace vessamo::cli
