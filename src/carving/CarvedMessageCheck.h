#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "carving/PageMap.h"
#include "carving/SerialRecord.h"

namespace vessamo {

// Where a message table keeps the columns recovery reads, by position in
// its rows; -1 for a column the table does not have or that is not read.
struct MessageColumns {
    size_t count = 0;
    int entity = 1;
    int fromMe = -1;
    int status = -1;
    int chat = -1;
    int groupMember = -1;
    int media = -1;
    int date = -1;
    int fromJid = -1;
    int pushName = -1;  // a name in older tables; newer ones keep binary metadata there
    int stanza = -1;
    int text = -1;
    int toJid = -1;
    int kind = -1;  // WhatsApp's message type: 0 text, 1 picture, 2 video...
};

// A message table's columns found by name; nullopt when one recovery
// cannot do without (chat, date, from-me flag, text) is missing.
[[nodiscard]] std::optional<MessageColumns> messageColumnsNamed(
    const std::vector<std::string>& names);

// What the database itself says about the rows a message could belong to,
// read from the live tables of the same file. Unknown parts check nothing.
struct CarveContext {
    std::optional<int64_t> messageEntity;              // Z_ENT of every message row
    std::optional<std::unordered_set<int64_t>> chats;  // keys of the chat sessions
    std::optional<int64_t> largestChatKey;             // the highest key ever given to a chat
    std::optional<size_t> messageColumnCount;          // columns of the message table
};

// Why a carved record is not a message that can be shown.
enum class Rejection : uint8_t {
    None,
    LiveRow,      // it lies inside a row that still exists
    Entity,       // not a message row
    Chat,         // no chat it could belong to
    FromMe,       // the from-me flag is not 0 or 1
    Status,       // a status WhatsApp never writes
    Date,         // outside 2009 to tomorrow
    Address,      // a sender or recipient that is no WhatsApp address
    Text,         // a text that is no valid UTF-8 text, or holds control bytes
    Empty,        // neither a text nor a media item
    Overwritten,  // a later row took its end
};
inline constexpr size_t kRejectionKinds = 11;
[[nodiscard]] std::string_view rejectionName(Rejection rejection);

// The checks a carved record must pass to be shown as a deleted message.
// A record whose chat key no chat session has is still a message when it
// names the chat by address and its key was once given out: its chat was
// deleted with it (deletedChat is then set).
[[nodiscard]] Rejection checkMessage(std::span<const uint8_t> bytes, const SerialRecord& record,
                                     const MessageColumns& columns, const CarveContext& context,
                                     bool& deletedChat);

// For each column of the message table, the storage classes (StorageClass
// bits) a record can hold there and still pass checkMessage: what the
// carver need not parse in full.
[[nodiscard]] std::vector<uint8_t> messageStorageClasses(const MessageColumns& columns);
// Whether a record was read from a whole page image, where live cells of
// that image may have taken part of it.
[[nodiscard]] bool isWholeImage(RecordOrigin origin);

// Whether a record read from a whole page image (a log frame, a freed
// page, the file's image of a page the log replaced) runs into a cell that
// was live in that image without being that cell: the later row took its
// end, and what the record seems to hold there is the other row's bytes.
// page: the image from its first byte; usable: page size less reserved.
[[nodiscard]] bool overwrittenInImage(std::span<const uint8_t> page, size_t usable,
                                      const SerialRecord& record);

// Whether a text is a WhatsApp address: a person, a group or a private id.
[[nodiscard]] bool isWhatsAppAddress(std::string_view text);

}  // namespace vessamo
