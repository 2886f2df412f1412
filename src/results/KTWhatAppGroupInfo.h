#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vessamo {

// A picture of a person or group; used while a scan runs.
struct KTWhatAppGroupInfo {
    int32_t groupMemberID = -1;
    std::string groupzjid;
    std::optional<std::string> groupImagePath = std::string();
};

}  // namespace vessamo
