#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>

#include "carving/CarvedMessageCheck.h"
#include "carving/CarvingFile.h"
#include "carving/PageMap.h"
#include "carving/SerialRecord.h"
#include "common/Text.h"
#include "results/KTWhatsAppNode.h"

namespace vessamo {

// Backups and iCloud archives hold the same chat database, but the two
// recoveries were always delivered differently.
enum class CarverVariant { Backup, ICloud };

struct CarvedRecord {
    KTWhatsAppNode message;
    enum class Delivery {
        Post,           // shown as it arrives
        Append,         // added to the scan's messages
        PostAndAppend,  // added first, then shown
    } delivery;
    RecordOrigin origin = RecordOrigin::Unallocated;
    uint32_t walFrame = 0;  // 1-based frame of the write-ahead log, 0 when in the database
    bool textCut = false;   // the text ran off its free region: only its start survived
    // No chat session holds the message's chat key any more: the chat was
    // deleted too, and only its messages tell what it was.
    bool deletedChat = false;
    Text fromJid;             // the row's sender column: a person, or the group
    Text toJid;               // the row's recipient column
    int64_t groupMember = 0;  // key of the group member who wrote it, 0 for none
    Text stanzaId;            // the message's network id, the same in every copy of the row
};

// The message a record of a message table stands for, once it passed the
// checks: texts go to texts, the group author is left for the caller.
[[nodiscard]] CarvedRecord carvedMessageOf(TextStore& texts, std::span<const uint8_t> bytes,
                                           const SerialRecord& record, const MessageColumns& table);

// Recovers message rows from the raw bytes of a chat database: deleted rows
// linger in freeblocks, in the gaps of pages and in free pages until SQLite
// reuses the room. Every page that looks like it held messages is searched
// byte by byte for a record; what lies inside a live row is left alone,
// and what fails the message checks is counted, not delivered.
// Pure: it posts nothing and looks nothing up; the caller delivers.
//
// A record's texts are put in the store the carver was given. The carver
// holds on to none of them once the record is delivered, so a caller that
// copies what it keeps may empty the store between deliveries.
class DeletedMessageCarver {
public:
    // Only the backup variant reads stop.
    DeletedMessageCarver(CarverVariant variant, TextStore& texts, std::stop_token stop = {},
                         CarveContext context = {});

    // Hands every recovered record to deliver, in file order. False when a
    // stop was requested (the rest of the file was left alone).
    bool carve(const CarvingFile& file, const std::function<void(CarvedRecord)>& deliver);

    // How many candidate records each check turned away in the last carve.
    [[nodiscard]] const std::array<size_t, kRejectionKinds>& rejections() const {
        return rejections_;
    }

private:
    CarverVariant variant_;
    TextStore& texts_;
    std::stop_token stop_;
    CarveContext context_;
    std::array<size_t, kRejectionKinds> rejections_{};
};

}  // namespace vessamo
