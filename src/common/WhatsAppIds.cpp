#include "common/WhatsAppIds.h"

namespace vessamo {

std::string withoutText(std::string_view text, std::string_view remove) {
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        size_t found = remove.empty() ? std::string_view::npos : text.find(remove, at);
        if (found == std::string_view::npos) {
            out.append(text.substr(at));
            break;
        }
        out.append(text.substr(at, found - at));
        at = found + remove.size();
    }
    return out;
}

}  // namespace vessamo
