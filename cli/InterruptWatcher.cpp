#include "InterruptWatcher.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "common/ScratchFolder.h"

namespace vessamo::cli {

namespace {

std::stop_source& processStop() {
    static std::stop_source stop;
    return stop;
}

std::atomic<int> firstSignal{0};

sigset_t interruptSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

InterruptWatcher::InterruptWatcher(Mode mode) : mode_(mode) {
    const sigset_t set = interruptSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    // The tick bounds how long the destructor waits for the watcher itself.
    (void)watcher_.start([this, set](std::stop_token stop) {
        const timespec tick{0, 100'000'000};
        while (!stop.stop_requested()) {
            const int signal = sigtimedwait(&set, nullptr, &tick);
            if (signal > 0) {
                onSignal(signal);
            }
        }
    });
}

InterruptWatcher::~InterruptWatcher() {
    watcher_.stopAndJoin();
    // A signal that arrives from here on ends the program the ordinary way;
    // by now the work that could be stopped has ended.
    const sigset_t set = interruptSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

// Runs on the watcher's thread, not in a signal handler: removing folders
// is allowed here.
void InterruptWatcher::onSignal(int signal) {
    int none = 0;
    const bool first = firstSignal.compare_exchange_strong(none, signal);
    if (first && mode_ == Mode::stopWork) {
        processStop().request_stop();
        return;
    }
    ScratchFolder::removeAllNow();
    ::_exit(128 + firstSignal.load());
}

std::stop_token InterruptWatcher::stopToken() {
    return processStop().get_token();
}

bool InterruptWatcher::interrupted() {
    return firstSignal.load() != 0;
}

int InterruptWatcher::exitStatus() {
    const int signal = firstSignal.load();
    return signal == 0 ? 0 : 128 + signal;
}

}  // namespace vessamo::cli
