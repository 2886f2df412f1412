#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vessamo {

// A contact picture row of the address book.
struct KTContactImageNode {
    int32_t rowid = -1;
    std::optional<std::string> imageData;
};

using KTContactImageNodePtr = std::shared_ptr<KTContactImageNode>;

}  // namespace vessamo
