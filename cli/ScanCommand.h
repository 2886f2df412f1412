#pragma once

#include <iosfwd>
#include <string>

namespace vessamo::cli {

struct ScanOptions {
    std::string folder;
    bool json = false;
    bool deleted = false;
};

// `vessamo-cli scan`: scans a backup folder as the folder chooser does and
// prints a summary, or the whole result as JSON.
int runScan(const ScanOptions& options, std::ostream& out, std::ostream& err);

}  // namespace vessamo::cli
