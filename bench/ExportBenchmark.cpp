// Exports every conversation of the million-message sample as chat pages
// and compares time and memory with the scan that precedes it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "BenchSupport.h"
#include "app/Scanner.h"
#include "common/ScratchFolder.h"
#include "export/HtmlChatExport.h"

namespace fs = std::filesystem;
using namespace vessamo;

namespace {

int scanAndExport(const std::string& folder) {
    ScanReporter quiet;
    const long long baseline = bench::statusBytes("VmRSS");
    auto start = std::chrono::steady_clock::now();
    const ScanResultPtr result =
        Scanner::scan(folder, SourceKind::Backup, ScanOptions{}, {}, quiet);
    const double scanSeconds = bench::secondsSince(start);
    const long long scanPeak = bench::statusBytes("VmHWM");
    const long long afterScan = bench::statusBytes("VmRSS");

    // VESSAMO_BENCH_EXPORT_TO keeps the pages in a folder of one's own, to
    // compare the bytes of two builds; otherwise they go when the run ends.
    const char* keep = std::getenv("VESSAMO_BENCH_EXPORT_TO");
    std::optional<ScratchFolder> scratch;
    if (keep == nullptr || *keep == '\0') {
        scratch = ScratchFolder::create("vessamo-export-bench");
        if (!scratch) {
            return 1;
        }
    }
    const std::string destination = scratch ? scratch->path() : std::string(keep);
    // Every conversation, the way a person exports them all at once.
    std::vector<const KTWhatsAppCovNode*> chats;
    for (const KTWhatsAppCovNode& chat : result->WhatsAppConvChatArray) {
        chats.push_back(&chat);
    }
    start = std::chrono::steady_clock::now();
    const double cpuStart = bench::cpuSeconds();
    const ExportReport report = exportChatsAsHtml(*result, chats, destination);
    const double exportSeconds = bench::secondsSince(start);
    const double exportCpu = bench::cpuSeconds() - cpuStart;
    const long long exportPeak = bench::statusBytes("VmHWM");
    const size_t messages = result->WhatsAppChatArray.size();

    // The pages and media are real files: on a slow disk the export time is
    // mostly the disk's. TMPDIR=/dev/shm measures the program alone.
    std::printf("destination             %s\n", destination.c_str());
    std::printf("scan                    %.2f s, peak RSS %.0f MiB\n", scanSeconds,
                static_cast<double>(scanPeak - baseline) / 1048576.0);
    std::printf("RSS after the scan      %.0f MiB\n",
                static_cast<double>(afterScan - baseline) / 1048576.0);
    std::printf("HTML export             %.2f s (%.0f messages/s), %zu files, %zu failures\n",
                exportSeconds, static_cast<double>(messages) / exportSeconds, report.filesWritten,
                report.failures.size());
    std::printf("HTML export CPU time    %.2f s (user and system)\n", exportCpu);
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
