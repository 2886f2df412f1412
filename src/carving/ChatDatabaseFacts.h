#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "carving/CarvedMessageCheck.h"
#include "carving/LiveMessageIndex.h"

namespace vessamo {

// What the live tables of a chat database say about the rows recovery may
// find: which chats and group members exist, which message rows are still
// there, and how the message table is laid out. Read through SQLite from
// the scan's private copy, never from the source.
struct ChatDatabaseFacts {
    struct Member {
        std::string jid;
        std::string name;
    };

    CarveContext context;
    std::unordered_map<int64_t, std::string> chatAddresses;  // chat key -> its JID
    std::unordered_map<int64_t, Member> members;             // group member key -> member
    LiveMessageIndex liveMessages;                           // keys and stanza ids of live messages
    bool read = false;  // false when the copy could not be opened as a database

    // Everything that could be read; a table that is missing or damaged
    // just leaves its part unknown (and unchecked).
    [[nodiscard]] static ChatDatabaseFacts of(const std::string& databaseCopy);
};

}  // namespace vessamo
