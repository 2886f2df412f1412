#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "carving/CarvedMessageCheck.h"
#include "carving/CarvingFile.h"
#include "carving/SchemaCarver.h"

// Any bytes are a database and its log as far as the schema carver is
// concerned: it must walk them, free list, freeblocks and frames, without
// reading out of bounds, looping or crashing, and every record it offers
// must lie inside the bytes it was parsed from. Told the column classes the
// message checks allow, it must keep exactly the records it keeps without.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kLargestInput = 1 << 20;
    if (size > kLargestInput) {
        return -1;
    }
    static const std::vector<std::string> kNames = {
        "Z_PK",         "Z_ENT",        "Z_OPT",      "ZISFROMME",    "ZMESSAGESTATUS",
        "ZCHATSESSION", "ZGROUPMEMBER", "ZMEDIAITEM", "ZMESSAGEDATE", "ZFROMJID",
        "ZPUSHNAME",    "ZSTANZAID",    "ZTEXT",      "ZTOJID"};
    vessamo::TableSchema table;
    table.name = "ZWAMESSAGE";
    table.columns = kNames;
    table.rowidAlias = true;
    const auto columns = vessamo::messageColumnsNamed(table.columns);
    // The first half is the database, the second its log.
    const vessamo::CarvingFile database(std::vector<uint8_t>(data, data + size / 2));
    const vessamo::CarvingFile wal(std::vector<uint8_t>(data + size / 2, data + size));
    // What each run kept: where, and whether as a message or as a live
    // row known by its row id (here: every even one).
    std::vector<std::vector<uint64_t>> kept[2];
    for (const bool withClasses : {false, true}) {
        vessamo::SchemaCarver carver(table);
        if (withClasses) {
            carver.acceptOnly(vessamo::messageStorageClasses(*columns));
        }
        carver.carve(database, &wal, [&](const vessamo::FoundRecord& found) {
            if (found.record.end > found.bytes.size() ||
                found.record.fields.size() != kNames.size()) {
                __builtin_trap();
            }
            for (const auto& field : found.record.fields) {
                if (field.offset + field.length > found.bytes.size()) {
                    __builtin_trap();
                }
            }
            const bool live = found.rowid && *found.rowid % 2 == 0;
            bool deletedChat = false;
            if (!live && vessamo::checkMessage(found.bytes, found.record, *columns, {},
                                               deletedChat) != vessamo::Rejection::None) {
                return false;
            }
            kept[withClasses].push_back(
                {found.pageKey, found.record.headerStart, found.record.end, live ? 1u : 0u});
            return true;
        });
    }
    if (kept[0] != kept[1]) {
        __builtin_trap();
    }
    return 0;
}
