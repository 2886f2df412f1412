#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backup/ScanState.h"

namespace vessamo {

// Reads the WhatsApp calls of a device backup into state.wpCallArray.
// Newer app versions keep them in a Core Data database (CallHistory.sqlite),
// older ones in a keyed archive (calls.log); the database wins when it holds
// any call, else the archive is read. Fills state.wpCallArray newest first
// for the database; archives keep their own order.
void scanWhatsAppCalllogThread(ScanState& state, const std::string& folder);

// How a call-log archive is taken apart: which classes of parsed objects
// count as the strings that carry JIDs and as the dictionaries that carry
// calls and dates, and, when set, the exact number of values a dictionary
// must hold to become a call (others still give their date, and the JID
// stays pending for the next dictionary).
struct CallArchiveRules {
    std::vector<std::string_view> stringClasses;
    std::vector<std::string_view> dictionaryClasses;
    std::optional<size_t> callValueCount;
};

// The rules of a device backup's archive, and the stricter ones of the copy
// a Timeline backup keeps.
[[nodiscard]] const CallArchiveRules& backupCallArchiveRules();
[[nodiscard]] const CallArchiveRules& timelineCallArchiveRules();

// Appends the calls of the keyed archive at path to state.wpCallArray,
// naming partners through state.contactArray. A file that is not an
// archive gives no calls; reference cycles inside one end.
void readCallArchive(ScanState& state, const std::string& path, const CallArchiveRules& rules);

}  // namespace vessamo
