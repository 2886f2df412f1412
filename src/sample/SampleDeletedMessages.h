#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vessamo::sample {

// The message table as successive WhatsApp versions laid it out. Column
// order matters: recovery recognises a deleted row by the serial types of
// its first columns.
enum class MessageTableShape { Columns18, Columns20, Columns34 };

struct DeletedRowsOptions {
    MessageTableShape shape = MessageTableShape::Columns34;
    size_t messages = 200;
    size_t deleteEvery = 4;  // every n-th message is deleted; 0 deletes none that way
    size_t chats = 3;        // the last one is a group when there are two or more
    uint32_t pageSize = 4096;
    // Also delete runs of consecutive messages, long enough that SQLite
    // hands whole pages back to its free list.
    bool freeWholePages = true;
    // Messages that arrive after the deletions. They take pages from the
    // free list and overwrite what those pages still held.
    size_t laterMessages = 0;
    // A whole chat deleted: its messages, its session and its group
    // members (0: none). Chat keys run from 1; the last one is the group.
    int64_t deletedChat = 0;
};

struct SurvivingRow {
    int64_t pk = 0;
    int64_t chat = 0;
    std::string text;  // empty when the row's text is NULL
    double date = 0;   // seconds since 2001-01-01
    bool fromMe = false;
};

struct DeletedRowsDatabase {
    std::vector<SurvivingRow> liveRows;     // in the table, by ascending pk
    std::vector<SurvivingRow> deletedRows;  // deleted, by ascending pk
    // The deleted rows whose complete record still stands in the file, on a
    // page that recovery examines.
    std::vector<SurvivingRow> survivingDeletedRows;
};

// Writes a chat database whose message table has lost rows the way a phone
// loses them (no secure delete, no vacuum), so their bytes linger in
// freeblocks and free pages. Returns what was written, what was deleted and
// which deleted rows can still be read from the file; nullopt with a reason
// on failure.
[[nodiscard]] std::optional<DeletedRowsDatabase> writeChatStorageWithDeletedRows(
    const std::string& path, const DeletedRowsOptions& options, std::string* error = nullptr);

}  // namespace vessamo::sample
