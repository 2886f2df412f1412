// Carves a chat database of more than 512 MiB whose deleted rows are spread
// through it, and reports how fast the pages go by.
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "BenchSupport.h"
#include "carving/CarvingFile.h"
#include "carving/DeletedMessageCarver.h"
#include "sample/SampleDeletedMessages.h"

namespace fs = std::filesystem;
using namespace vessamo;

namespace {

constexpr uint64_t kMinimumBytes = 512ull * 1024 * 1024;
constexpr uint32_t kPageSize = 4096;

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

int carve(const std::string& path) {
    auto file = CarvingFile::open(path);
    if (!file) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    const double mebibytes = static_cast<double>(file->size()) / 1048576.0;
    TextStore texts;  // every record's texts stay, as the recovery stage keeps them
    DeletedMessageCarver carver(CarverVariant::Backup, texts);
    size_t records = 0;
    auto start = std::chrono::steady_clock::now();
    const bool finished = carver.carve(*file, [&](const CarvedRecord&) { ++records; });
    const double seconds = bench::secondsSince(start);
    std::printf("file size               %.0f MiB\n", mebibytes);
    // Every page after the schema page goes through the candidate check; the
    // carver does not say how many of them it then searched.
    std::printf("pages examined          %llu\n",
                static_cast<unsigned long long>(file->size() / kPageSize - 1));
    std::printf("candidate pages         not reported by the carver\n");
    std::printf("carve time              %.2f s\n", seconds);
    std::printf("throughput              %.0f MiB/s (target >= 100)\n", mebibytes / seconds);
    std::printf("records found           %zu\n", records);
    std::printf("texts kept              %.1f MiB\n",
                static_cast<double>(texts.capacityBytes()) / 1048576.0);
    std::printf("peak RSS                %.1f MiB\n",
                static_cast<double>(bench::statusBytes("VmHWM")) / 1048576.0);
    std::fflush(stdout);
    return finished && records != 0 ? 0 : 1;
}

}  // namespace

int main() {
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
    return bench::inChild([&] { return carve(path); });
}
