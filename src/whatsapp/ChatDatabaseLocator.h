#pragma once

#include <optional>
#include <string>

#include "backup/ScanState.h"

namespace vessamo {

// The chat database of a backup, and whether it is the one of the shared
// group container (whose media paths need no prefix).
struct ChatDatabase {
    std::string path;
    bool groupContainer = false;
};

// The database the account, chat and message readers use: the shared
// container's (or the business edition's) by the backup's layout, then the
// old app container's, then whatever the index named "ChatStorage.sqlite".
[[nodiscard]] std::optional<ChatDatabase> findChatDatabase(const ScanState& state,
                                                           const std::string& folder);

// The database holding the WhatsApp contacts: any chat database, else the
// shared container's Contacts.sqlite, in either layout.
[[nodiscard]] std::optional<std::string> findContactsDatabase(const std::string& folder);

}  // namespace vessamo
