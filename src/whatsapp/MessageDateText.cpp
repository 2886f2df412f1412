#include "whatsapp/MessageDateText.h"

#include <cstdio>

#include "carving/DisplayConversions.h"

namespace vessamo {

namespace {

constexpr int64_t kQuarter = 900;

int64_t floorDiv(int64_t value, int64_t divisor) {
    int64_t quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

}  // namespace

std::string MessageDateText::textOf(int64_t seconds2001) {
    const int64_t quarter = floorDiv(seconds2001, kQuarter);
    auto found = quarters_.find(quarter);
    if (found == quarters_.end()) {
        QuarterHour entry;
        auto start = GetDateTime(quarter * kQuarter, 0);
        int minute = 0;
        // Zones whose offset is not a whole number of quarter hours would
        // shift minutes across the hour: those times are converted one by one.
        if (start && start->size() == 16 && std::sscanf(start->c_str() + 14, "%2d", &minute) == 1 &&
            minute % 15 == 0) {
            entry.usable = true;
            entry.prefix = start->substr(0, 14);
            entry.minute = minute;
        }
        found = quarters_.emplace(quarter, std::move(entry)).first;
    }
    const QuarterHour& entry = found->second;
    if (!entry.usable) {
        return GetNSStringDate(GetDateTime(seconds2001, 0));
    }
    const int minute = entry.minute + static_cast<int>((seconds2001 - quarter * kQuarter) / 60);
    std::string text = entry.prefix;
    text += static_cast<char>('0' + minute / 10);
    text += static_cast<char>('0' + minute % 10);
    return text;
}

}  // namespace vessamo
