#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vessamo {

// A contact picture row of the address book; used while a scan runs.
struct KTContactImageNode {
    int32_t rowid = -1;
    std::optional<std::string> imageData;
};

}  // namespace vessamo
