#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "FuzzSupport.h"
#include "app/Scanner.h"

namespace {

struct Slot {
    vessamo::SourceKind kind;
    const char* file;
};

// The files of an iCloud Drive account folder and of a Timeline backup
// that the scan reads; the input's first byte picks one, the rest is it.
constexpr std::array<Slot, 5> kSlots = {{
    {vessamo::SourceKind::ICloud, "ChatStorage.sqlite"},
    {vessamo::SourceKind::Timeline, "ChatStorage.sqlite"},
    {vessamo::SourceKind::Timeline, "calls.log"},
    {vessamo::SourceKind::Timeline, "Contacts.sqlite"},
    {vessamo::SourceKind::ICloud, "Backup.plist"},
}};

}  // namespace

// A whole scan of a folder holding one fuzzed file, deleted-message
// recovery included: it ends, never null, and every message it gives
// belongs to a conversation span of the result.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > (4u << 20)) {
        return -1;
    }
    const Slot& slot = kSlots[data[0] % kSlots.size()];
    const std::string folder = vessamo::fuzz::workFolder() + "/source";
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    std::filesystem::create_directories(folder, ec);
    vessamo::fuzz::writeBytes(folder + "/" + slot.file, data + 1, size - 1);
    vessamo::ScanOptions options;
    options.recoverDeleted = true;
    vessamo::ScanReporter reporter;
    const auto result = vessamo::Scanner::scan(folder, slot.kind, options, {}, reporter);
    if (!result || result->chatOrder.size() != result->WhatsAppChatArray.size()) {
        __builtin_trap();
    }
    return 0;
}
