#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vessamo {

// A picture of a person or group.
struct KTWhatAppGroupInfo {
    int32_t groupMemberID = -1;
    std::string groupzjid;
    std::optional<std::string> groupImagePath = std::string();
};

using KTWhatAppGroupInfoPtr = std::shared_ptr<KTWhatAppGroupInfo>;

}  // namespace vessamo
