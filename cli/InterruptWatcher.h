#pragma once

#include <functional>

#include "common/Worker.h"

namespace vessamo::cli {

// Turns Ctrl-C (and SIGTERM) into a call on a worker of its own, so a scan
// can be stopped cleanly and still print what it found. Construct it before
// any other thread starts: threads inherit the blocked signal mask.
class InterruptWatcher {
public:
    explicit InterruptWatcher(std::function<void()> onInterrupt);
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

private:
    std::function<void()> onInterrupt_;
    Worker watcher_;
};

}  // namespace vessamo::cli
