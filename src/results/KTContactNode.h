#pragma once

#include <cstdint>
#include <optional>

#include "common/Text.h"

namespace vessamo {

// One address-book contact of the phone.
struct KTContactNode {
    int32_t rowid = -1;
    Text contactName;
    Text contactPhone;
    Text contactEmail;
    Text contactHomepage;
    Text contactCompany;
    Text contactBirthday;
    Text contactJobtitle;
    Text contactNote;
    Text contactAdress;
    std::optional<Text> imageData;  // picture file bytes
    bool bDeleted = false;
};

}  // namespace vessamo
