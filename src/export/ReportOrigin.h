#pragma once

#include <string>
#include <string_view>

#include "results/KTWhatsAppCovNode.h"
#include "results/KTWhatsAppNode.h"
#include "results/ScanResult.h"

namespace vessamo {

// Where in the chat database a recovered message was found, as the pages,
// the report and the desktop view show it. An examiner weighs a record by
// its place: a freeblock is the row's own cell, a frame of the write-ahead
// log may be a copy older than the deletion.
struct RecoveredPlace {
    std::string_view where;  // "freeblock", "wal frame 12"; empty when nobody noted it
    bool textCut = false;    // only the start of its text survived
};

// The place the scan noted for a recovered message; nothing for a live one.
[[nodiscard]] RecoveredPlace recoveredPlaceOf(const ScanResult& result,
                                              const KTWhatsAppNode& message);

// "freeblock · text cut"; empty when the place is unknown.
[[nodiscard]] std::string recoveredPlaceLabel(const RecoveredPlace& place);

// "Recovered · freeblock · text cut", or "Recovered" alone.
[[nodiscard]] std::string recoveredCaption(const RecoveredPlace& place);

// A sentence for those who do not know the words: "Found in a freed block
// of a table page of the chat database."
[[nodiscard]] std::string recoveredExplanation(const RecoveredPlace& place);

// A conversation made of recovered messages whose chat is gone as well: no
// session row is left, only the messages tell what it was.
[[nodiscard]] bool isDeletedChat(const ScanResult& result, const KTWhatsAppCovNode& chat);

}  // namespace vessamo
