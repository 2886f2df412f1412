#include "results/DisplayText.h"

namespace vessamo {

std::string_view directionText(Direction direction) {
    switch (direction) {
        case Direction::Send:
            return "Send";
        case Direction::Receive:
            return "Receive";
        case Direction::Unknown:
            break;
    }
    return "";
}

std::string messageDateText(const std::optional<AppleTime>& time) {
    if (!time) {
        return "";
    }
    return displayTimeText(*time).value_or(" ");
}

std::string callDateText(const std::optional<AppleTime>& time) {
    return time ? displayTimeText(*time).value_or(" ") : "";
}

std::string isoDateText(const std::optional<AppleTime>& time) {
    return time ? isoTimeText(*time).value_or("") : "";
}

std::string DisplayTextCache::messageDate(const std::optional<AppleTime>& time) {
    if (!time) {
        return "";
    }
    return times_.display(*time).value_or(" ");
}

void DisplayTextCache::appendMessageDate(std::string& out, const std::optional<AppleTime>& time) {
    if (time && !times_.appendDisplay(out, *time)) {
        out += ' ';
    }
}

std::string DisplayTextCache::callDate(const std::optional<AppleTime>& time) {
    return time ? times_.display(*time).value_or(" ") : "";
}

std::string DisplayTextCache::isoDate(const std::optional<AppleTime>& time) {
    return time ? times_.iso(*time).value_or("") : "";
}

}  // namespace vessamo
