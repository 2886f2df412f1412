// Exports every conversation of the million-message sample as chat pages
// and compares time and memory with the scan that precedes it.
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "BenchSupport.h"
#include "app/OrlendoAppDelegate.h"
#include "common/NotificationCenter.h"
#include "common/ScratchFolder.h"

namespace fs = std::filesystem;
using namespace vessamo;

namespace {

int scanAndExport(const std::string& folder) {
    bench::SilentUi ui;
    NotificationCenter center;
    OrlendoAppDelegate controller(ui, center, OrlendoAppDelegate::Options{.defaultsPath = ""});
    const long long baseline = bench::statusBytes("VmRSS");
    auto start = std::chrono::steady_clock::now();
    controller.openPanelDidEnd1(folder);
    controller.waitForScan();
    const double scanSeconds = bench::secondsSince(start);
    const long long scanPeak = bench::statusBytes("VmHWM");
    const long long afterScan = bench::statusBytes("VmRSS");
    if (!controller.currentNode) {
        return 1;
    }
    const KTIOSDeviceNode& node = *controller.currentNode;

    auto destination = ScratchFolder::create("vessamo-export-bench");
    if (!destination) {
        return 1;
    }
    // The way the result view runs it: every chat checked, the export on a
    // worker of its own behind the save sheet.
    for (const KTWhatsAppCovNodePtr& chat : node.WhatsAppConvChatArray) {
        chat->bSelected = true;
    }
    ui.destination = destination->path();
    start = std::chrono::steady_clock::now();
    ResultExportCommands& commands = controller.exportCommands();
    if (!commands.ExportChatAsHtmlAction()) {
        return 1;
    }
    commands.waitForExports();
    const ExportReport report = commands.finishedExports().at(0).report;
    const double exportSeconds = bench::secondsSince(start);
    const long long exportPeak = bench::statusBytes("VmHWM");
    const size_t messages = node.WhatsAppChatArray.size();

    // The pages and media are real files: on a slow disk the export time is
    // mostly the disk's. TMPDIR=/dev/shm measures the program alone.
    std::printf("destination             %s\n", destination->path().c_str());
    std::printf("scan                    %.2f s, peak RSS %.0f MiB\n", scanSeconds,
                static_cast<double>(scanPeak - baseline) / 1048576.0);
    std::printf("RSS after the scan      %.0f MiB\n",
                static_cast<double>(afterScan - baseline) / 1048576.0);
    std::printf("HTML export             %.2f s (%.0f messages/s), %zu files, %zu failures\n",
                exportSeconds, static_cast<double>(messages) / exportSeconds, report.filesWritten,
                report.failures.size());
    std::printf("peak RSS after export   %.0f MiB (target: no higher than the scan's)\n",
                static_cast<double>(exportPeak - baseline) / 1048576.0);
    std::printf("export / scan time      %.2f (target <= 2)\n", exportSeconds / scanSeconds);
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main() {
    const std::string folder = bench::cacheFolder("scan-1m") + "/backup";
    if (!fs::exists(bench::cacheFolder("scan-1m") + "/complete")) {
        std::fprintf(stderr, "Run bench/scan first: it builds the million-message sample.\n");
        return 1;
    }
    return bench::inChild([&] { return scanAndExport(folder); });
}
