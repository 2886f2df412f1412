#pragma once

#include <cstdint>
#include <string>

#include "backup/ScanState.h"
#include "backup/SourceDatabase.h"
#include "common/Status.h"

namespace vessamo {

// Every message of the chat database in row order, with its attachment
// records. Reports progress from 79 to 95 and the running message count;
// the stop button ends it after the current message, without the 95.
[[nodiscard]] Status scanWhatsAppMessageThread(ScanState& state, const std::string& folder);

// The kinds of source whose chat databases are read. Every source names a
// message's author by the same rules (see ContactLookups::displayNameOf);
// only backups know what is starred. iCloud Drive and Timeline backups make
// no media records and read the whole table without counting.
enum class MessageSource { Backup, ICloudDrive, Timeline };

// Appends every message of a chat database, in row order, by the rules of
// its source; pictureFolder is where a Timeline backup keeps its files.
// The damage SQLite reported, if any; cancelled when the stop button ended
// the reading early.
[[nodiscard]] Status readMessageTable(ScanState& state, SourceDatabase& db, MessageSource source,
                                      const std::string& pictureFolder);

// The progress a message count reports, if any: the fixed steps up to
// 15,000 messages, then a step per 20,000 beyond 22,000, capped at 94.
[[nodiscard]] int progressForMessageCount(int64_t count);

}  // namespace vessamo
