#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <stop_token>
#include <string>
#include <vector>

#include "export/ExportReport.h"

namespace vessamo::cli {

// One of the exports a command line asked for.
struct ExportStep {
    std::string label;  // "Chat pages (HTML)"
    int32_t total = 0;  // items it counts as it goes; 0 when it does not count
    std::function<ExportReport(const ExportControl&)> run;
};

struct ExportStepReport {
    std::string label;
    ExportReport report;
};

// Runs the steps in order on a worker while the calling thread draws one
// progress bar for all of them on err; a stop request ends the step that
// runs between two items and skips the rest. Returns what each step that
// ran did.
class ExportRunner {
public:
    ExportRunner(std::ostream& err, std::stop_token stop);

    [[nodiscard]] std::vector<ExportStepReport> run(const std::vector<ExportStep>& steps);

private:
    std::ostream& err_;
    std::stop_token stop_;
};

}  // namespace vessamo::cli
