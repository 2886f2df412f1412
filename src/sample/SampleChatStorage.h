#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vessamo::sample {

struct SampleChat {
    int64_t pk = 0;
    std::string jid;  // "4917...@s.whatsapp.net" or "creator-created@g.us"
    std::string partnerName;
    int64_t groupInfo = 0;  // non-zero for groups
};

struct SampleMember {
    int64_t pk = 0;
    int64_t chat = 0;
    std::string jid;
    std::optional<std::string> name;
};

struct SampleMediaItem {
    std::optional<std::string> localPath;
    std::optional<std::string> thumbnailPath;
    std::optional<std::string> xmppThumbPath;
    std::optional<std::string> vcardName;
    std::optional<std::string> vcardString;
    std::optional<double> latitude;
    std::optional<double> longitude;
    std::optional<std::string> metadata;  // ZMETADATA's bytes, e.g. replyMetadata()
};

struct SampleMessage {
    int64_t pk = 0;
    int64_t chat = 0;
    double date = 0;               // seconds since 2001-01-01
    bool wholeSecondDate = false;  // stored as INTEGER rather than REAL
    bool fromMe = false;
    std::optional<std::string> fromJid;
    std::optional<std::string> toJid;
    std::optional<std::string> pushName;
    std::optional<std::string> text;
    int type = 0;  // 0 text, 1 picture, 2 video, 3 audio, 4 contact card, 5 location,
                   // 6 group event, 10 encryption notice
    std::optional<int> groupEventType;  // what a group event was (12 created, 2 added)
    int64_t groupMember = 0;
    bool starred = false;
    std::optional<std::string> stanzaId;
    std::optional<SampleMediaItem> media;
};

// A WhatsApp user's status as the contacts database keeps it.
struct SampleStatus {
    std::string whatsAppId;  // the whole JID
    std::optional<std::string> text;
    std::optional<std::string> picturePath;  // stored path of the profile picture
};

// The content of a WhatsApp chat database.
struct SampleChatDatabase {
    std::vector<SampleChat> chats;
    std::vector<SampleMember> members;
    std::vector<SampleMessage> messages;
    std::vector<std::pair<std::string, std::string>> pushNames;  // JID, name
    std::vector<std::pair<std::string, std::string>> pictures;   // JID, stored path
    std::vector<SampleStatus> statuses;                          // contacts database only
};

// The metadata WhatsApp stores with a reply: the quoted message's stanza
// id, its author's JID and the start of its text, as protocol buffer fields.
[[nodiscard]] std::string replyMetadata(const std::string& quotedStanzaId,
                                        const std::string& quotedAuthorJid,
                                        const std::string& quotedText);

// Writes a ChatStorage.sqlite as current WhatsApp versions lay it out (the
// Core Data tables with their full column sets). False with a reason on
// failure.
[[nodiscard]] bool writeChatStorage(const std::string& path, const SampleChatDatabase& content,
                                    std::string* error = nullptr);

// Deletes every n-th message (by key) of a written chat database the way a
// phone does, leaving the freed records' bytes in the file. 0 deletes none.
[[nodiscard]] bool deleteMessages(const std::string& path, size_t every,
                                  std::string* error = nullptr);

// Writes the separate WhatsApp contacts database (push names, group members
// and the statuses of ZWASTATUS), which older backups keep beside the chat
// database.
[[nodiscard]] bool writeContactsDatabase(const std::string& path, const SampleChatDatabase& content,
                                         std::string* error = nullptr);

}  // namespace vessamo::sample
