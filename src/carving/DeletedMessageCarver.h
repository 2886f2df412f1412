#pragma once

#include <functional>
#include <stop_token>

#include "carving/CarvingFile.h"
#include "common/Text.h"
#include "results/KTWhatsAppNode.h"

namespace vessamo {

// Backups and iCloud archives hold the same chat database, but the two
// recoveries were always delivered differently and the iCloud one never
// knew the wide message table.
enum class CarverVariant { Backup, ICloud };

struct CarvedRecord {
    KTWhatsAppNode message;
    enum class Delivery {
        Post,           // shown as it arrives
        Append,         // added to the scan's messages
        PostAndAppend,  // added first, then shown
    } delivery;
};

// Recovers message rows from the raw bytes of a chat database: deleted rows
// linger in free space and freeblocks until SQLite reuses the room. Every
// page that looks like it held messages is searched byte by byte for a
// record header; live rows are found as well, which the caller sorts out.
// Pure: it posts nothing and looks nothing up; the caller delivers.
//
// A record's texts are put in the store the carver was given. The carver
// holds on to none of them once the record is delivered, so a caller that
// copies what it keeps may empty the store between deliveries.
class DeletedMessageCarver {
public:
    // Only the backup variant reads stop.
    DeletedMessageCarver(CarverVariant variant, TextStore& texts, std::stop_token stop = {});

    // Hands every recovered record to deliver, in file order. False when a
    // stop was requested (the rest of the file was left alone).
    bool carve(const CarvingFile& file, const std::function<void(CarvedRecord)>& deliver);

private:
    CarverVariant variant_;
    TextStore& texts_;
    std::stop_token stop_;
};

}  // namespace vessamo
