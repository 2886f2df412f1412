// Exports every conversation of the million-message sample as the chat report
// and as chat pages, and compares time and memory with the scan before them.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "BenchSupport.h"
#include "MillionMessageSample.h"
#include "app/Scanner.h"
#include "common/ScratchFolder.h"
#include "export/HtmlChatExport.h"
#include "export/ReportExport.h"

namespace fs = std::filesystem;
using namespace vessamo;

namespace {

double mib(long long bytes) {
    return static_cast<double>(bytes) / 1048576.0;
}

struct Timed {
    double seconds = 0;
    double cpu = 0;
    long long peak = 0;  // VmHWM once it ended
    ExportReport report;
};

// Forgets the peak so far: each export's peak is then its own, the scan's
// result it holds included. (Linux: "5" to clear_refs resets VmHWM.)
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

Timed timed(const std::function<ExportReport()>& work) {
    resetPeak();
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = bench::cpuSeconds();
    Timed done;
    done.report = work();
    done.seconds = bench::secondsSince(start);
    done.cpu = bench::cpuSeconds() - cpuStart;
    done.peak = bench::statusBytes("VmHWM");
    return done;
}

void print(const char* name, const Timed& run, size_t messages, double scanSeconds,
           long long scanPeak, long long baseline) {
    std::printf("%-14s          %.2f s (%.0f messages/s), %zu files, %zu failures\n", name,
                run.seconds, static_cast<double>(messages) / run.seconds, run.report.filesWritten,
                run.report.failures.size());
    std::printf("%-14s CPU time %.2f s (user and system)\n", name, run.cpu);
    std::printf("%-14s / scan   %.2f time (target <= 2), peak RSS %.0f MiB (scan %.0f MiB)\n", name,
                run.seconds / scanSeconds, mib(run.peak - baseline), mib(scanPeak - baseline));
}

int scanAndExport(const std::string& folder) {
    ScanReporter quiet;
    const long long baseline = bench::statusBytes("VmRSS");
    const auto start = std::chrono::steady_clock::now();
    const ScanResultPtr result =
        Scanner::scan(folder, SourceKind::Backup, ScanOptions{}, {}, quiet);
    const double scanSeconds = bench::secondsSince(start);
    const long long scanPeak = bench::statusBytes("VmHWM");
    const long long afterScan = bench::statusBytes("VmRSS");

    // VESSAMO_BENCH_EXPORT_TO keeps the files in a folder of one's own, to
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
    const size_t messages = result->WhatsAppChatArray.size();
    // The pages first: the report then finds the media files in the cache
    // as a person's second export does; VESSAMO_BENCH_REPORT_FIRST turns it.
    const bool reportFirst = std::getenv("VESSAMO_BENCH_REPORT_FIRST") != nullptr;
    const auto reportRun = [&] { return exportChatReport(*result, chats, destination); };
    const auto pagesRun = [&] { return exportChatsAsHtml(*result, chats, destination); };
    const Timed first = timed(reportFirst ? std::function<ExportReport()>(reportRun) : pagesRun);
    const Timed second = timed(reportFirst ? std::function<ExportReport()>(pagesRun) : reportRun);
    const Timed& report = reportFirst ? first : second;
    const Timed& pages = reportFirst ? second : first;

    // The files are real: on a slow disk the time is mostly the disk's.
    // TMPDIR=/dev/shm measures the program alone.
    std::printf("destination             %s\n", destination.c_str());
    std::printf("scan                    %.2f s, peak RSS %.0f MiB, %.0f MiB held after it\n",
                scanSeconds, mib(scanPeak - baseline), mib(afterScan - baseline));
    print("chat report", report, messages, scanSeconds, scanPeak, baseline);
    print("HTML pages", pages, messages, scanSeconds, scanPeak, baseline);
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main() {
    const std::optional<std::string> sample = bench::millionMessageSample();
    if (!sample) {
        return 1;
    }
    return bench::inChild([&] { return scanAndExport(*sample); });
}
