#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vessamo {

// One address-book contact of the phone.
struct KTContactNode {
    int32_t rowid = -1;
    std::string contactName;
    std::string contactPhone;
    std::string contactEmail;
    std::string contactHomepage;
    std::string contactCompany;
    std::string contactBirthday;
    std::string contactJobtitle;
    std::string contactNote;
    std::string contactAdress;
    std::optional<std::string> imageData;  // picture file bytes
    bool bDeleted = false;
    bool bSelected = false;
};

using KTContactNodePtr = std::shared_ptr<KTContactNode>;

}  // namespace vessamo
