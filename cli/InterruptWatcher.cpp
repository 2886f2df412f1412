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
    sigset_t set = interruptSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    watcher_ = std::thread([this, set] {
        const timespec tick{0, 100'000'000};
        while (!done_.load()) {
            if (sigtimedwait(&set, nullptr, &tick) > 0) {
                onInterrupt_();
            }
        }
    });
}

InterruptWatcher::~InterruptWatcher() {
    done_ = true;
    watcher_.join();
    sigset_t set = interruptSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

}  // namespace vessamo::cli
