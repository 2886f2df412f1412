#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "carving/CarvingFile.h"
#include "carving/DeletedMessageCarver.h"

// Any bytes are a database as far as the carver is concerned: both
// variants must walk them without reading out of bounds or crashing.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Bigger inputs only make each run slower, not different: the carver
    // works page by page and pages are at most 64 KiB.
    constexpr size_t kLargestInput = 1 << 20;
    if (size > kLargestInput) {
        return -1;
    }
    const vessamo::CarvingFile file(std::vector<uint8_t>(data, data + size));
    for (auto variant : {vessamo::CarverVariant::Backup, vessamo::CarverVariant::ICloud}) {
        const std::atomic<bool> stop{false};
        vessamo::DeletedMessageCarver carver(variant, &stop);
        size_t records = 0;
        carver.carve(file, [&records](vessamo::CarvedRecord record) {
            records += record.message->messageContent.empty() ? 0 : 1;
        });
    }
    return 0;
}
