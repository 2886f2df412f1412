#pragma once

#include <iosfwd>
#include <stop_token>
#include <string>
#include <string_view>

#include "InterruptWatcher.h"
#include "ProgressDisplay.h"
#include "ScanSource.h"
#include "app/Scanner.h"

namespace vessamo::cli {

// "Not found: <message>", "Damaged: <message>": a scan problem for people,
// absent and damaged files told apart.
[[nodiscard]] std::string problemLine(const Status& problem);

// One scan run from the command line, on the calling thread: progress and
// problems on stderr, Ctrl-C (the process's InterruptWatcher) as the stop
// button.
class ScanSession {
public:
    explicit ScanSession(std::ostream& err);
    ScanSession(const ScanSession&) = delete;
    ScanSession& operator=(const ScanSession&) = delete;

    // Scans the source to its end, or until Ctrl-C; never null.
    [[nodiscard]] ScanResultPtr scan(const ScanSource& source);

    [[nodiscard]] bool interrupted() const { return InterruptWatcher::interrupted(); }

private:
    class Reporter : public ScanReporter {
    public:
        explicit Reporter(ProgressDisplay& progress) : progress_(progress) {}
        void progress(int percent) override { progress_.show(percent); }
        void problem(std::string_view stage, const Status& status) override;

    private:
        ProgressDisplay& progress_;
    };

    ProgressDisplay progress_;
    Reporter reporter_;
};

}  // namespace vessamo::cli
