// Carves a chat database of more than 512 MiB whose deleted rows are spread
// through it, and reports how fast the pages go by: for the pattern engine,
// for the schema engine's byte scan alone, and for the whole advanced
// recovery stage (copy, schema, scan, checks, live-row look-ups, intake).
//   carve_bench [--only patterns|scan|stage] [folder]
// With a folder, what each engine found is written there, sorted, one
// record a line, so that two builds can be compared.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "backup/ScanReporter.h"
#include "backup/ScanState.h"
#include "carving/CarvedMessageCheck.h"
#include "carving/CarvingFile.h"
#include "carving/ChatDatabaseFacts.h"
#include "carving/DeletedMessageCarver.h"
#include "carving/SchemaCarver.h"
#include "common/ScratchFolder.h"
#include "sample/SampleDeletedMessages.h"
#include "whatsapp/DeletedMessagesStage.h"

namespace fs = std::filesystem;
using namespace vessamo;

namespace {

constexpr uint64_t kMinimumBytes = 512ull * 1024 * 1024;
constexpr uint32_t kPageSize = 4096;
constexpr double kTarget = 100;  // MiB/s
constexpr const char* kChatKey = "7c7fba66680ef796b916b067077cc246adacf01d";

double mebibytesOf(uint64_t bytes) {
    return static_cast<double>(bytes) / 1048576.0;
}

// Wall time decides the throughput; the CPU time beside it shows how much
// of it other work on the machine took.
class Stopwatch {
public:
    void stop() {
        wall_ = bench::secondsSince(start_);
        cpu_ = bench::cpuSeconds() - cpuStart_;
        peakRss_ = bench::statusBytes("VmHWM");  // before the benchmark's own lists grow
    }
    [[nodiscard]] double wall() const { return wall_; }
    [[nodiscard]] double cpu() const { return cpu_; }
    [[nodiscard]] long long peakRss() const { return peakRss_; }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    double cpuStart_ = bench::cpuSeconds();
    double wall_ = 0;
    double cpu_ = 0;
    long long peakRss_ = 0;
};

void printFigures(const char* what, uint64_t bytes, const Stopwatch& watch, size_t records) {
    const double seconds = watch.wall();
    std::printf(
        "%-20s %6.2f s (CPU %5.2f s)  %5.0f MiB/s (target >= %.0f)  %zu records  "
        "peak RSS %.0f MiB\n",
        what, seconds, watch.cpu(), mebibytesOf(bytes) / seconds, kTarget, records,
        mebibytesOf(static_cast<uint64_t>(watch.peakRss())));
    std::fflush(stdout);
}

// One line per record found, sorted, so two runs can be compared with diff.
void writeSorted(const std::string& folder, const char* name, std::vector<std::string> lines) {
    if (folder.empty()) {
        return;
    }
    std::sort(lines.begin(), lines.end());
    std::ofstream out(folder + "/" + name);
    for (const std::string& line : lines) {
        out << line << "\n";
    }
}

std::string lineOf(const KTWhatsAppNode& m) {
    return std::to_string(m.chatID) + "\t" +
           std::to_string(m.messageDate ? m.messageDate->seconds : -1) + "\t" +
           (m.messageType == Direction::Send ? "sent" : "received") + "\t" +
           std::string(m.messageNumb) + "\t" + std::string(m.messageContent);
}

int buildSample(const std::string& path, const std::string& survivorsPath) {
    sample::DeletedRowsOptions options;
    options.shape = sample::MessageTableShape::Columns34;
    options.messages = 3'400'000;
    options.deleteEvery = 5;
    options.chats = 400;
    options.pageSize = kPageSize;
    options.freeWholePages = true;
    auto start = std::chrono::steady_clock::now();
    std::string error;
    auto written = sample::writeChatStorageWithDeletedRows(path, options, &error);
    if (!written) {
        std::fprintf(stderr, "cannot build the sample: %s\n", error.c_str());
        return 1;
    }
    std::printf("built the sample in %.1f s: %zu live rows, %zu deleted, %zu still in the file\n",
                bench::secondsSince(start), written->liveRows.size(), written->deletedRows.size(),
                written->survivingDeletedRows.size());
    std::ofstream(survivorsPath) << written->survivingDeletedRows.size() << "\n";
    if (fs::file_size(path) < kMinimumBytes) {
        std::fprintf(stderr, "the sample came out at %.0f MiB, below 512 MiB\n",
                     static_cast<double>(fs::file_size(path)) / 1048576.0);
        return 1;
    }
    return 0;
}

int carveByPatterns(const std::string& path, const std::string& dump) {
    auto file = CarvingFile::open(path);
    if (!file) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    TextStore texts;  // every record's texts stay, as the recovery stage keeps them
    DeletedMessageCarver carver(CarverVariant::Backup, texts);
    std::vector<std::string> lines;
    Stopwatch watch;
    size_t records = 0;
    const bool finished = carver.carve(*file, [&](const CarvedRecord& r) {
        ++records;
        if (!dump.empty()) {
            lines.push_back(lineOf(r.message));
        }
    });
    watch.stop();
    printFigures("pattern engine", file->size(), watch, records);
    std::printf("  (texts kept %.1f MiB)\n", mebibytesOf(texts.capacityBytes()));
    writeSorted(dump, "patterns.txt", std::move(lines));
    return finished && records != 0 ? 0 : 1;
}

// The schema engine's byte scan with the message checks it needs to know
// what to skip, on facts read beforehand: no copy, no look-ups, no intake.
int scanBySchema(const std::string& path, const std::string& dump) {
    const ChatDatabaseFacts facts = ChatDatabaseFacts::of(path);
    const auto file = CarvingFile::open(path);
    std::optional<TableSchema> table;
    for (TableSchema& t : readTableSchemas(path)) {
        table = t.name == "ZWAMESSAGE" ? std::optional(std::move(t)) : table;
    }
    const auto columns = table ? messageColumnsNamed(table->columns) : std::nullopt;
    if (!file || !columns) {
        std::fprintf(stderr, "no message table in %s\n", path.c_str());
        return 1;
    }
    SchemaCarver engine(*table);
    engine.acceptOnly(messageStorageClasses(*columns));
    size_t offered = 0;
    std::vector<std::string> lines;
    Stopwatch watch;
    engine.carve(*file, nullptr, [&](const FoundRecord& found) {
        ++offered;
        bool deletedChat = false;
        if (checkMessage(found.bytes, found.record, *columns, facts.context, deletedChat) !=
            Rejection::None) {
            return false;
        }
        const size_t text = static_cast<size_t>(columns->text);
        lines.push_back(placeName(found.place) + "\t" +
                        std::string(found.record.text(found.bytes, text)));
        return true;
    });
    watch.stop();
    const size_t records = lines.size();
    printFigures("schema engine scan", file->size(), watch, records);
    std::printf("  (%zu candidates offered to the checks)\n", offered);
    writeSorted(dump, "schema-scan.txt", std::move(lines));
    return records != 0 ? 0 : 1;
}

struct Shown : ScanReporter {
    void recovered(const KTWhatsAppNode& m) override { messages.push_back(m); }
    std::vector<KTWhatsAppNode> messages;
};

// The advanced recovery stage on a backup folder holding the database
// under its file key, as a scan runs it.
int recoverByStage(const std::string& path, const std::string& dump) {
    auto scratch = ScratchFolder::create("vessamo-carve-bench");
    const std::string folder = scratch->path() + "/backup";
    fs::create_directories(folder);
    std::error_code linked;
    fs::create_hard_link(path, folder + "/" + kChatKey, linked);
    if (linked) {
        fs::copy_file(path, folder + "/" + kChatKey);
    }
    Shown shown;
    ScanState state(shown, {});
    Stopwatch watch;
    const Status status = scanDeletedWhatsAppMessageThread(state, folder);
    watch.stop();
    if (!status.ok()) {
        std::fprintf(stderr, "the stage failed: %s\n", status.message().c_str());
        return 1;
    }
    std::vector<std::string> lines;
    for (const KTWhatsAppNode& m : shown.messages) {
        lines.push_back(lineOf(m));
    }
    for (const KTWhatsAppNode& m : state.wpChatArray) {
        lines.push_back(lineOf(m));
    }
    const size_t records = lines.size();
    printFigures("recovery stage", fs::file_size(path), watch, records);
    writeSorted(dump, "stage.txt", std::move(lines));
    return records != 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string only;
    std::string dump;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else {
            dump = argv[i];
        }
    }
    const auto wanted = [&](const char* engine) { return only.empty() || only == engine; };
    const std::string cache = bench::cacheFolder("carve-512m");
    const std::string path = cache + "/ChatStorage.sqlite";
    const std::string survivors = cache + "/surviving";
    if (!fs::exists(cache + "/complete")) {
        fs::remove_all(cache);
        fs::create_directories(cache);
        if (bench::inChild([&] { return buildSample(path, survivors); }) != 0) {
            return 1;
        }
        std::ofstream(cache + "/complete") << "ok\n";
    }
    std::printf("sample: %s\n", path.c_str());
    size_t surviving = 0;
    std::ifstream(survivors) >> surviving;
    std::printf("deleted rows whose records stand in the file: %zu\n", surviving);
    std::printf("file size              %.0f MiB, %llu pages\n", mebibytesOf(fs::file_size(path)),
                static_cast<unsigned long long>(fs::file_size(path) / kPageSize));
    // Each in a process of its own, so each peak RSS is its own.
    const auto run = [&](const char* engine, int (*work)(const std::string&, const std::string&)) {
        return wanted(engine) ? bench::inChild([&] { return work(path, dump); }) : 0;
    };
    const int patterns = run("patterns", carveByPatterns);
    const int scan = run("scan", scanBySchema);
    const int stage = run("stage", recoverByStage);
    return patterns != 0 || scan != 0 || stage != 0 ? 1 : 0;
}
