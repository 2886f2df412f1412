#pragma once

#include <string>

#include "backup/ScanState.h"
#include "common/SqliteDatabase.h"

namespace vessamo {

// Every message of the chat database in row order, with its attachment
// records. Posts progress from 79 to 95 and the running message count.
void scanWhatsAppMessageThread(ScanState& state, const std::string& folder);

// The kinds of source whose chat databases are read. Backups know who sent a
// message and what is starred and have an address book; iCloud Drive and
// Timeline backups keep the sender's push name as the name, make no media
// records and read the whole table without counting.
enum class MessageSource { Backup, ICloudDrive, Timeline };

// Appends every message of an open chat database, in row order, by the
// rules of its source; pictureFolder is where a Timeline backup keeps its
// files. False only when the stop button ended the reading early.
bool readMessageTable(ScanState& state, const SqliteDatabase& db, MessageSource source,
                      const std::string& pictureFolder);

// The progress a message count reports, if any: the fixed steps up to
// 15,000 messages, then a step per 20,000 beyond 22,000, capped at 94.
[[nodiscard]] int progressForMessageCount(int64_t count);

}  // namespace vessamo
