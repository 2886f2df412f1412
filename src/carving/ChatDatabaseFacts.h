#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "carving/CarvedMessageCheck.h"
#include "carving/CarvingFile.h"
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
        int64_t chat = 0;  // the group's chat key
    };

    CarveContext context;
    std::unordered_map<int64_t, std::string> chatAddresses;  // chat key -> its JID
    std::unordered_map<int64_t, Member> members;             // group member key -> member
    LiveMessageIndex liveMessages;                           // keys and stanza ids of live messages
    // Group members whose rows were deleted (a whole group goes with its
    // members) but whose records survive with their key: the authors of a
    // deleted group's messages.
    std::unordered_map<int64_t, Member> deletedMembers;
    // Partner names and group subjects of chats whose session row was
    // deleted, by the chat's address; one address seen with two names has
    // none.
    std::unordered_map<std::string, std::string> deletedChatNames;
    std::optional<int64_t> chatEntity;        // Z_ENT of chat session rows
    std::optional<int64_t> memberEntity;      // Z_ENT of group member rows
    std::optional<int64_t> largestMemberKey;  // the highest key ever given to a member
    bool read = false;  // false when the copy could not be opened as a database

    // The member a message's group-member key names: a live one, else a
    // recovered one of the same chat.
    [[nodiscard]] const Member* memberOf(int64_t key, int64_t chat) const;

    // Everything that could be read; a table that is missing or damaged
    // just leaves its part unknown (and unchecked).
    [[nodiscard]] static ChatDatabaseFacts of(const std::string& databaseCopy);

    // Fills deletedMembers from the free room of the copy, of the log and
    // of the source's images of the pages the log replaced (wal and
    // original may be null). A key found with two different members is
    // dropped: nobody can tell which was right.
    void recoverMembers(const std::string& databaseCopy, const CarvingFile& copy,
                        const CarvingFile* wal, const CarvingFile* original);

    // Fills deletedChatNames from the session table's records, where they
    // can be, as recoverMembers reads the member table's.
    void recoverChatNames(const std::string& databaseCopy, const CarvingFile& copy,
                          const CarvingFile* wal, const CarvingFile* original);

private:
    void keyByAddress(const std::string& databaseCopy, const CarvingFile& copy,
                      const CarvingFile* wal, const CarvingFile* original,
                      const std::unordered_map<std::string, std::set<int64_t>>& unkeyed);
};

}  // namespace vessamo
