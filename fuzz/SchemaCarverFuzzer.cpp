#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "carving/CarvedMessageCheck.h"
#include "carving/CarvingFile.h"
#include "carving/SchemaCarver.h"

namespace {

// The message table of current WhatsApp versions, so that the records of
// real databases among the seeds are found and checked as messages.
const std::vector<std::string> kCurrentMessageTable = {"Z_PK",
                                                       "Z_ENT",
                                                       "Z_OPT",
                                                       "ZCHILDMESSAGESDELIVEREDCOUNT",
                                                       "ZCHILDMESSAGESPLAYEDCOUNT",
                                                       "ZCHILDMESSAGESREADCOUNT",
                                                       "ZDATAITEMVERSION",
                                                       "ZDOCID",
                                                       "ZENCRETRYCOUNT",
                                                       "ZFILTEREDRECIPIENTCOUNT",
                                                       "ZFLAGS",
                                                       "ZGROUPEVENTTYPE",
                                                       "ZISFROMME",
                                                       "ZMESSAGEERRORSTATUS",
                                                       "ZMESSAGESTATUS",
                                                       "ZMESSAGETYPE",
                                                       "ZSORT",
                                                       "ZSPOTLIGHTSTATUS",
                                                       "ZSTARRED",
                                                       "ZCHATSESSION",
                                                       "ZGROUPMEMBER",
                                                       "ZLASTSESSION",
                                                       "ZMEDIAITEM",
                                                       "ZMESSAGEINFO",
                                                       "ZPARENTMESSAGE",
                                                       "ZMESSAGEDATE",
                                                       "ZSENTDATE",
                                                       "ZFROMJID",
                                                       "ZMEDIASECTIONID",
                                                       "ZPHASH",
                                                       "ZPUSHNAME",
                                                       "ZSTANZAID",
                                                       "ZTEXT",
                                                       "ZTOJID"};
const std::vector<std::string> kShortMessageTable = {
    "Z_PK",         "Z_ENT",        "Z_OPT",      "ZISFROMME",    "ZMESSAGESTATUS",
    "ZCHATSESSION", "ZGROUPMEMBER", "ZMEDIAITEM", "ZMESSAGEDATE", "ZFROMJID",
    "ZPUSHNAME",    "ZSTANZAID",    "ZTEXT",      "ZTOJID"};

// The table the input's last byte picks: 0 (a seed's padding) the current
// message table keyed by its INTEGER PRIMARY KEY; the high bit a table
// without such a key, whose freed cells are rebuilt another way; low bits
// 1 the short message table, others a table of that many plain columns.
vessamo::TableSchema tableFor(uint8_t choice) {
    vessamo::TableSchema table;
    table.rowidAlias = (choice & 0x80) == 0;
    const uint8_t shape = choice & 0x7f;
    if (shape <= 1) {
        table.name = "ZWAMESSAGE";
        table.columns = shape == 0 ? kCurrentMessageTable : kShortMessageTable;
        return table;
    }
    table.name = "T";
    for (uint8_t i = 0; i < shape % 48; ++i) {
        table.columns.push_back("c" + std::to_string(i));
    }
    return table;
}

void expectInside(const vessamo::FoundRecord& found, size_t columns) {
    if (found.record.end > found.bytes.size() || found.record.fields.size() != columns) {
        __builtin_trap();
    }
    for (const auto& field : found.record.fields) {
        if (field.offset + field.length > found.bytes.size()) {
            __builtin_trap();
        }
    }
    const bool inLog = found.place.origin == vessamo::RecordOrigin::WalFrame;
    if (vessamo::placeName(found.place).empty() || (inLog && found.place.walFrame == 0)) {
        __builtin_trap();
    }
}

}  // namespace

// Any bytes are a database and its log as far as the schema carver is
// concerned: it must walk them, free list, freeblocks and frames, without
// reading out of bounds, looping or crashing, and every record it offers
// must lie inside the bytes it was parsed from. Told the column classes the
// message checks allow, it must keep exactly the records it keeps without.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kLargestInput = 1 << 20;
    if (size == 0 || size > kLargestInput) {
        return -1;
    }
    const vessamo::TableSchema table = tableFor(data[size - 1]);
    const auto messages = vessamo::messageColumnsNamed(table.columns);
    // The first half is the database, the second its log.
    const vessamo::CarvingFile database(std::vector<uint8_t>(data, data + size / 2));
    const vessamo::CarvingFile wal(std::vector<uint8_t>(data + size / 2, data + size));
    if (!messages) {
        // A table of any other kind, whose freed cells may lose their first
        // serial type and be rebuilt.
        vessamo::SchemaCarver carver(table);
        carver.carve(database, &wal, [&](const vessamo::FoundRecord& found) {
            expectInside(found, table.columns.size());
            return !found.record.fields.front().isNull();  // kept or not, both ways
        });
        return 0;
    }
    // What each run kept: where, and whether as a message or as a live
    // row known by its row id (here: every even one).
    std::vector<std::vector<uint64_t>> kept[2];
    for (const bool withClasses : {false, true}) {
        vessamo::SchemaCarver carver(table);
        if (withClasses) {
            carver.acceptOnly(vessamo::messageStorageClasses(*messages));
        }
        carver.carve(database, &wal, [&](const vessamo::FoundRecord& found) {
            expectInside(found, table.columns.size());
            const bool live = found.rowid && *found.rowid % 2 == 0;
            bool deletedChat = false;
            if (!live && vessamo::checkMessage(found.bytes, found.record, *messages, {},
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
