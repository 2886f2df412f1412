#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

namespace vessamo {

// What an export did: files written and, for each one it could not write,
// a line saying which and why. The desktop application stays silent as it
// always has; the command line prints the failures and fails.
struct ExportReport {
    size_t filesWritten = 0;
    std::vector<std::string> failures;

    void merge(const ExportReport& other) {
        filesWritten += other.filesWritten;
        failures.insert(failures.end(), other.failures.begin(), other.failures.end());
    }
};

// The result view's exported-items counter; the progress window reads it
// while an export runs on its worker.
using ItemCounter = std::atomic<int32_t>;

// How an export is steered while it runs: its worker's stop token, and the
// counter it bumps per item done (optional).
struct ExportControl {
    std::stop_token stop;
    ItemCounter* counter = nullptr;

    [[nodiscard]] bool stopRequested() const { return stop.stop_requested(); }
    void countItem() const {
        if (counter != nullptr) {
            counter->fetch_add(1, std::memory_order_relaxed);
        }
    }
};

}  // namespace vessamo
