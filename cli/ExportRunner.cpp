#include "ExportRunner.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "ProgressDisplay.h"
#include "common/Worker.h"

namespace vessamo::cli {

namespace {

constexpr std::chrono::milliseconds kRedraw{100};

// Each step weighs the same; within one that counts its items, the share
// of them done so far.
int percentOf(size_t stepsDone, size_t steps, int32_t itemsDone, int32_t items) {
    if (steps == 0) {
        return 100;
    }
    double share = static_cast<double>(stepsDone);
    if (items > 0) {
        share += std::clamp(static_cast<double>(itemsDone) / items, 0.0, 1.0);
    }
    return static_cast<int>(100.0 * share / static_cast<double>(steps));
}

}  // namespace

ExportRunner::ExportRunner(std::ostream& err, std::stop_token stop)
    : err_(err), stop_(std::move(stop)) {}

std::vector<ExportStepReport> ExportRunner::run(const std::vector<ExportStep>& steps) {
    std::vector<ExportStepReport> reports;
    std::atomic<size_t> stepsDone{0};
    ItemCounter itemsDone{0};
    std::atomic<bool> finished{false};
    Worker worker;
    (void)worker.start([&](std::stop_token) {
        for (const ExportStep& step : steps) {
            if (stop_.stop_requested()) {
                break;
            }
            itemsDone = 0;
            const ExportControl control{stop_, &itemsDone};
            reports.push_back({step.label, step.run(control)});
            ++stepsDone;
        }
        finished = true;
    });
    ProgressDisplay progress(err_, isatty(STDERR_FILENO) != 0, "export");
    while (!finished) {
        const size_t done = stepsDone.load();
        const int32_t total = done < steps.size() ? steps[done].total : 0;
        progress.show(percentOf(done, steps.size(), itemsDone.load(), total));
        std::this_thread::sleep_for(kRedraw);
    }
    worker.join();
    progress.finish(!stop_.stop_requested());
    return reports;
}

}  // namespace vessamo::cli
