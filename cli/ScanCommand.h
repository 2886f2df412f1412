#pragma once

#include <iosfwd>
#include <string>

namespace vessamo {
class OrlendoAppDelegate;
struct KTIOSDeviceNode;
}  // namespace vessamo

namespace vessamo::cli {

struct ScanOptions {
    std::string folder;
    std::string kind;  // itunes, icloud or timeline; empty: told by the folder
    bool json = false;
    bool deleted = false;
};

// Counts per category of a finished scan, for people to read.
void printScanSummary(OrlendoAppDelegate& controller, const KTIOSDeviceNode& source, bool stopped,
                      std::ostream& out);

// `vessamo-cli scan`: scans a backup folder as the folder chooser does and
// prints a summary, or the whole result as JSON.
int runScan(const ScanOptions& options, std::ostream& out, std::ostream& err);

}  // namespace vessamo::cli
