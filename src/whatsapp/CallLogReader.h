#pragma once

#include <string>

#include "backup/ScanState.h"
#include "common/ConfinedFiles.h"
#include "common/Status.h"

namespace vessamo {

// Reads the WhatsApp calls of a device backup into state.wpCallArray.
// Newer app versions keep them in a Core Data database (CallHistory.sqlite),
// older ones in a keyed archive (calls.log); the database wins when it holds
// any call, else the archive is read. The database's calls come newest
// first; archives keep their own order. A damaged database is reported
// (corrupt) even when the archive stood in for it.
[[nodiscard]] Status scanWhatsAppCalllogThread(ScanState& state, const std::string& folder);

// Appends the calls of the keyed archive a Timeline backup keeps at path,
// naming partners through state.contactArray. Its rules are stricter than a
// backup's: only a dictionary of exactly 16 values makes a call, others
// give their date and leave the JID pending. A file that is not an archive
// gives no calls; reference cycles inside one end.
void readTimelineCallArchive(ScanState& state, const PathWithin& path);

}  // namespace vessamo
