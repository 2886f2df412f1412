#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "FuzzSupport.h"
#include "backup/ScanReporter.h"
#include "backup/ScanState.h"
#include "whatsapp/CallLogReader.h"

// Any bytes as a call-log keyed archive, read the way a Timeline backup
// reads it and the way a device backup's call stage finds it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) {
        return -1;
    }
    const std::string backup = vessamo::fuzz::workFolder() + "/calls";
    static const bool made = std::filesystem::create_directories(backup + "/8c");
    (void)made;
    const std::string archive = backup + "/8c/8c8d5e73e785f7253e060cfe9ffcf8b8d424a299";
    vessamo::fuzz::writeBytes(archive, data, size);
    vessamo::ScanReporter reporter;
    {
        vessamo::ScanState state(reporter, {});
        vessamo::readTimelineCallArchive(state, {backup, archive});
    }
    vessamo::ScanState state(reporter, {});
    state.biOS10version = true;
    vessamo::scanWhatsAppCalllogThread(state, backup).ignore();
    for (const vessamo::KTCallHistoryNode& call : state.wpCallArray) {
        if (call.callType != "Incoming Call" && call.callType != "Outgoing Call") {
            __builtin_trap();
        }
    }
    return 0;
}
