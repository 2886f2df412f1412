#pragma once

#include <string>

#include "backup/ScanState.h"

namespace vessamo {

// Reads the WhatsApp calls of a device backup into state.wpCallArray.
// Newer app versions keep them in a Core Data database (CallHistory.sqlite),
// older ones in a keyed archive (calls.log); the database wins when it holds
// any call, else the archive is read. Fills state.wpCallArray newest first
// for the database; archives keep their own order.
void scanWhatsAppCalllogThread(ScanState& state, const std::string& folder);

}  // namespace vessamo
