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
// must lie inside the bytes it was parsed from.
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
    vessamo::SchemaCarver carver(table);
    carver.carve(database, &wal, [&](const vessamo::FoundRecord& found) {
        if (found.record.end > found.bytes.size() || found.record.fields.size() != kNames.size()) {
            __builtin_trap();
        }
        for (const auto& field : found.record.fields) {
            if (field.offset + field.length > found.bytes.size()) {
                __builtin_trap();
            }
        }
        bool deletedChat = false;
        return vessamo::checkMessage(found.bytes, found.record, *columns, {}, deletedChat) ==
               vessamo::Rejection::None;
    });
    // A table of any other kind, whose freed cells lose their first serial
    // type and are rebuilt; refusing every record makes each guess run.
    vessamo::TableSchema other;
    other.name = "people";
    other.columns = {"id", "name", "surname", "code", "score"};
    vessamo::SchemaCarver generic(other);
    generic.carve(database, &wal, [&](const vessamo::FoundRecord& found) {
        if (found.record.end > found.bytes.size() ||
            found.record.fields.size() != other.columns.size()) {
            __builtin_trap();
        }
        for (const auto& field : found.record.fields) {
            if (field.offset + field.length > found.bytes.size()) {
                __builtin_trap();
            }
        }
        return false;
    });
    return 0;
}
