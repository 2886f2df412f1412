#pragma once

#include <cstdint>
#include <string>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "results/KTWhatsAppCovNode.h"
#include "results/KTWhatsAppNode.h"
#include "results/KTWhatsAppResourceNode.h"

namespace vessamo {

struct ScanResult;

// Takes recovered messages as the carver delivers them: groups them into
// conversations of their own, drops repeats of the same text from the same
// name, and lists shared cards and locations as resources. Runs on the scan
// thread; the result gets what it gathered when the scan ends.
class DeletedMessageIntake {
public:
    // The message's texts must live in the scan's store.
    void take(const KTWhatsAppNode& message);

    // What is known of a chat whose session row was deleted with it.
    struct DeletedChat {
        Text number;       // the other party's number, or the group's id
        Text partnerName;  // the other party's name, or the group's subject, when known
        bool group = false;
    };
    // A message of such a chat: its conversation is named from what is
    // known (the other party, the group's subject, else the members who
    // wrote);
    // texts is the scan's store, which gets the names made here.
    void take(const KTWhatsAppNode& message, const DeletedChat& chat, TextStore& texts);

    // Where a recovered message was found, wherever it is delivered; its
    // text must already live in the scan's store.
    void noteOrigin(const KTWhatsAppNode& message, std::string place);

    [[nodiscard]] size_t conversationCount() const { return conversations_.size(); }
    [[nodiscard]] size_t messageCount() const;

    // Hands the conversations (whatsAppArray), their messages
    // (recoveredMessages), the resources (someResourceArray) and the keys
    // of the deleted chats (deletedChats) over.
    void moveInto(ScanResult& result);

private:
    struct Conversation {
        KTWhatsAppCovNode record;
        std::vector<KTWhatsAppNode> messages;
        std::unordered_set<std::string> seen;  // the messages it holds, by what they show
        std::vector<std::string> authors;      // deleted groups: members who wrote
        bool deletedChat = false;
    };

    Conversation& conversationOf(const KTWhatsAppNode& message);
    void add(Conversation& conversation, const KTWhatsAppNode& message);

    void addResource(const KTWhatsAppNode& message);

    std::vector<Conversation> conversations_;
    std::unordered_map<int32_t, size_t> byChat_;
    std::vector<KTWhatsAppResourceNode> resources_;
    std::vector<std::tuple<const char*, int32_t, int64_t, std::string>> origins_;
};

}  // namespace vessamo
