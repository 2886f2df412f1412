#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace vessamo {

// What an export did: files written and, for each one it could not write,
// a line saying which and why. The desktop application stays silent as it
// always has; the command line prints the failures and fails.
//
// Media the source never held (offloaded, expired, never downloaded: real
// backups often lack most of them) are no failure of the export. Their
// messages are exported all the same, and each missing file is listed once,
// by the path the chat database stores for it.
struct ExportReport {
    size_t filesWritten = 0;
    std::vector<std::string> failures;
    std::set<std::string> missingMedia;

    void noteMissing(std::string_view storedPath) { missingMedia.emplace(storedPath); }
    void merge(const ExportReport& other) {
        filesWritten += other.filesWritten;
        failures.insert(failures.end(), other.failures.begin(), other.failures.end());
        missingMedia.insert(other.missingMedia.begin(), other.missingMedia.end());
    }
};

// The result view's exported-items counter; the progress window reads it
// while an export runs on its worker.
using ItemCounter = std::atomic<int32_t>;

// How an export is steered while it runs: its worker's stop token, the
// counter it bumps per item done (optional), and who is told each time a
// message is put on a chat page (optional; called on the exporting thread),
// so progress can move within a chat of a hundred thousand messages.
struct ExportControl {
    std::stop_token stop;
    ItemCounter* counter = nullptr;
    std::function<void()> messageDone{};

    [[nodiscard]] bool stopRequested() const { return stop.stop_requested(); }
    void countItem() const {
        if (counter != nullptr) {
            counter->fetch_add(1, std::memory_order_relaxed);
        }
    }
    void countMessage() const {
        if (messageDone) {
            messageDone();
        }
    }
};

}  // namespace vessamo
