#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "results/KTWhatsAppCovNode.h"
#include "results/KTWhatsAppResourceNode.h"

namespace vessamo {

// Takes recovered messages as the carver posts them: groups them into
// conversations of their own, drops repeats of the same text from the same
// name, and lists shared cards and locations as resources.
class DeletedMessageIntake {
public:
    void take(const KTWhatsAppNodePtr& message);
    void clear();

    [[nodiscard]] const std::vector<KTWhatsAppCovNodePtr>& conversations() const {
        return whatsAppArray_;
    }
    [[nodiscard]] const std::vector<KTWhatsAppResourceNodePtr>& resources() const {
        return someResourceArray_;
    }

private:
    void addResource(const KTWhatsAppNode& message);

    std::vector<KTWhatsAppCovNodePtr> whatsAppArray_;
    std::vector<KTWhatsAppResourceNodePtr> someResourceArray_;
    // Per conversation: where it stands and which name/text pairs it holds,
    // so a long recovery stays linear.
    std::unordered_map<int32_t, size_t> conversationByChat_;
    std::vector<std::unordered_set<std::string>> seen_;
};

}  // namespace vessamo
