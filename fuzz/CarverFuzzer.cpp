#include <cstddef>
#include <cstdint>
#include <vector>

#include "carving/CarvingFile.h"
#include "carving/DeletedMessageCarver.h"
#include "common/Text.h"

// Any bytes are a database as far as the carver is concerned: both
// variants must walk them without reading out of bounds or crashing, and
// every record they deliver must hold a text or a media item and a chat.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Bigger inputs only make each run slower, not different: the carver
    // works page by page and pages are at most 64 KiB.
    constexpr size_t kLargestInput = 1 << 20;
    if (size > kLargestInput) {
        return -1;
    }
    const vessamo::CarvingFile file(std::vector<uint8_t>(data, data + size));
    for (auto variant : {vessamo::CarverVariant::Backup, vessamo::CarverVariant::ICloud}) {
        vessamo::TextStore texts;
        vessamo::DeletedMessageCarver carver(variant, texts);
        carver.carve(file, [](const vessamo::CarvedRecord& record) {
            if ((record.message.messageContent.empty() && !record.message.isHaveAttch) ||
                record.message.chatID < 1 || !record.message.bDeleted) {
                __builtin_trap();
            }
        });
    }
    return 0;
}
