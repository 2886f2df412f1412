#include "InterruptWatcher.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>

namespace vessamo::cli {

namespace {

sigset_t interruptSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

InterruptWatcher::InterruptWatcher(std::function<void()> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)) {
    const sigset_t set = interruptSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    // The tick bounds how long the destructor waits for the worker to notice
    // its stop request.
    (void)watcher_.start([this, set](std::stop_token stop) {
        const timespec tick{0, 100'000'000};
        while (!stop.stop_requested()) {
            if (sigtimedwait(&set, nullptr, &tick) > 0) {
                onInterrupt_();
            }
        }
    });
}

InterruptWatcher::~InterruptWatcher() {
    watcher_.stopAndJoin();
    const sigset_t set = interruptSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

}  // namespace vessamo::cli
