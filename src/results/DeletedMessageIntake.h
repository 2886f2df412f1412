#pragma once

#include <cstdint>
#include <string>
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

    [[nodiscard]] size_t conversationCount() const { return conversations_.size(); }
    [[nodiscard]] size_t messageCount() const;

    // Hands the conversations (whatsAppArray), their messages
    // (recoveredMessages) and the resources (someResourceArray) over.
    void moveInto(ScanResult& result);

private:
    struct Conversation {
        KTWhatsAppCovNode record;
        std::vector<KTWhatsAppNode> messages;
        std::unordered_set<std::string> seen;  // name and text pairs it holds
    };

    void addResource(const KTWhatsAppNode& message);

    std::vector<Conversation> conversations_;
    std::unordered_map<int32_t, size_t> byChat_;
    std::vector<KTWhatsAppResourceNode> resources_;
};

}  // namespace vessamo
