#pragma once

#include <atomic>
#include <iosfwd>
#include <string>

#include "ConsoleUiPort.h"
#include "InterruptWatcher.h"
#include "ProgressDisplay.h"
#include "app/OrlendoAppDelegate.h"

namespace vessamo::cli {

// One scan run from the command line: progress on stderr, Ctrl-C as the
// stop button, the controller kept for whatever the command does next.
class ScanSession {
public:
    explicit ScanSession(std::ostream& err);
    ScanSession(const ScanSession&) = delete;
    ScanSession& operator=(const ScanSession&) = delete;

    // Scans a folder and waits for the end: a backup as the folder chooser
    // does, an iCloud Drive account or a Timeline backup as their records.
    // kind is "itunes", "icloud", "timeline" or empty for the folder to tell.
    // False when no scan ran.
    [[nodiscard]] bool scan(const std::string& folder, bool recoverDeleted,
                            const std::string& kind = "");

    [[nodiscard]] OrlendoAppDelegate& controller() { return controller_; }
    [[nodiscard]] bool interrupted() const { return interrupted_.load(); }
    [[nodiscard]] ProgressDisplay& progress() { return progress_; }

private:
    ProgressDisplay progress_;
    ConsoleUiPort ui_;
    std::atomic<bool> interrupted_{false};
    std::atomic<OrlendoAppDelegate*> running_{nullptr};
    // Before the controller: its threads must inherit the blocked signals.
    InterruptWatcher watcher_;
    OrlendoAppDelegate controller_;
    ScopedObserver shown_;
};

}  // namespace vessamo::cli
