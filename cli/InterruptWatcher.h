#pragma once

#include <stop_token>

#include "common/Worker.h"

namespace vessamo::cli {

// Turns Ctrl-C and SIGTERM into a stop request that long work polls, so a
// scan or an export ends between items, removes what it had begun and
// exits with 128 + the signal's number. A second signal, or the first for
// a command that cannot stop part-way, ends the program at once after
// removing its scratch folders: those hold plaintext copies of a person's
// chats and must not outlive the run.
//
// One per process, made in main before any other thread starts: threads
// inherit the blocked signal mask.
class InterruptWatcher {
public:
    enum class Mode {
        stopWork,    // the first signal asks the work to stop
        exitAtOnce,  // the command has nothing to stop cleanly
    };

    explicit InterruptWatcher(Mode mode);
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    // The process's stop request: set once a signal has arrived.
    [[nodiscard]] static std::stop_token stopToken();
    [[nodiscard]] static bool interrupted();
    // 128 + the first signal's number (130 for Ctrl-C, 143 for SIGTERM);
    // 0 while no signal has arrived.
    [[nodiscard]] static int exitStatus();

private:
    void onSignal(int signal);

    Mode mode_;
    Worker watcher_;
};

}  // namespace vessamo::cli
