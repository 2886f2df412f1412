#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "carving/CarverPatterns.h"
#include "carving/CarvingFile.h"
#include "results/KTWhatsAppNode.h"

namespace vessamo {

// Backups and iCloud archives hold the same chat database, but the two
// recoveries were always delivered differently and the iCloud one never
// knew the wide message table.
enum class CarverVariant { Backup, ICloud };

struct CarvedRecord {
    KTWhatsAppNodePtr message;
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
class DeletedMessageCarver {
public:
    // stop may be null; only the backup variant reads it.
    DeletedMessageCarver(CarverVariant variant, const std::atomic<bool>* stop);

    // Hands every recovered record to deliver, in file order. False when the
    // stop flag was seen set (the rest of the file was left alone).
    bool carve(const CarvingFile& file, const std::function<void(CarvedRecord)>& deliver);

private:
    CarverVariant variant_;
    const std::atomic<bool>* stop_;
};

}  // namespace vessamo
