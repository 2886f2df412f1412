#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vessamo::sample {

// How much traffic is added to a real chat database before part of it is
// deleted the way a phone deletes (no secure delete, no vacuum).
struct RealTrafficOptions {
    size_t messages = 4000;  // added across the new chats
    size_t personChats = 8;  // new one-to-one chats
    size_t groups = 3;       // new groups, of three to six other members each
    size_t singleDeletes = 120;
    size_t runs = 3;  // runs of a chat's latest messages deleted at once
    size_t runLength = 30;
    size_t laterMessages = 60;     // arrive after the deletions and reuse freed room
    bool deleteWholeChat = true;   // one one-to-one chat, with its session
    bool deleteWholeGroup = true;  // one group, with its session, group info and members
    uint32_t seed = 20230517;
};

// A message as a person sees it, and what it was stored as.
struct TrafficMessage {
    int64_t pk = 0;
    int64_t chat = 0;
    bool fromMe = false;
    // Who wrote it: the partner of a one-to-one chat, the group member, or
    // empty for the owner.
    std::string senderJid;
    double date = 0;   // seconds since 2001-01-01, as stored
    std::string text;  // empty for a media message without text
    std::string stanzaId;
    bool media = false;
    bool overflows = false;  // too long for one page
};

struct RealTraffic {
    std::string ownerJid;
    std::vector<TrafficMessage> live;     // every message row left, the original ones included
    std::vector<TrafficMessage> deleted;  // every message row deleted
    // For each deleted message: whether its record still stands byte for
    // byte (from column 1's serial type to its end, overflow pages
    // included) in the database file or in its write-ahead log.
    std::vector<bool> survives;
    std::vector<int64_t> deletedChats;          // chat keys deleted with their session
    std::vector<std::string> deletedChatNames;  // their partner names or subjects, in order
    std::vector<int64_t> deletedGroups;         // the group ones among them
};

// Copies the real chat database `source` (never written), adds the traffic
// to the copy in many transactions, deletes single messages, runs of a
// chat's latest messages, a whole chat and a whole group, and leaves the
// result at `path`, with its write-ahead log at `walPath` as a phone's
// backup holds it while the app has it open. nullopt with a reason on
// failure.
[[nodiscard]] std::optional<RealTraffic> writeRealSchemaTraffic(const std::string& source,
                                                                const std::string& path,
                                                                const std::string& walPath,
                                                                const RealTrafficOptions& options,
                                                                std::string* error = nullptr);

}  // namespace vessamo::sample
