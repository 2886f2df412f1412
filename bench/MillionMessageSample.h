#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "BenchSupport.h"
#include "sample/SampleSources.h"

namespace vessamo::bench {

inline constexpr size_t kSampleMessages = 1'000'000;

// The backup the scan, export and chat benchmarks share: a million messages
// in 5,000 chats, built once into the benchmark cache (in a child process,
// so its memory never counts against a benchmark) and kept there.
// The backup folder, or nullopt when it could not be built.
inline std::optional<std::string> millionMessageSample() {
    const std::string cache = cacheFolder("scan-1m");
    const std::string folder = cache + "/backup";
    if (std::filesystem::exists(cache + "/complete")) {
        return folder;
    }
    std::filesystem::remove_all(cache);
    std::filesystem::create_directories(cache);
    const int built = inChild([&] {
        sample::WhatsAppSampleOptions options;
        options.people = 6000;
        options.addressBook = 2000;
        options.otherContacts = 0;
        options.chats = 4800;
        options.groups = 200;
        options.messages = kSampleMessages;
        options.mediaEvery = 10;
        options.calls = 2000;
        options.smallMedia = true;
        const auto start = std::chrono::steady_clock::now();
        auto builder = sample::whatsAppBackup(sample::CatalogueLayout::ManifestDb, {}, options);
        std::string error;
        if (!builder.write(folder, &error)) {
            std::fprintf(stderr, "cannot build the sample: %s\n", error.c_str());
            return 1;
        }
        std::printf("built the sample in %.1f s\n", secondsSince(start));
        return 0;
    });
    if (built != 0) {
        return std::nullopt;
    }
    std::ofstream(cache + "/complete") << "ok\n";
    return folder;
}

}  // namespace vessamo::bench
