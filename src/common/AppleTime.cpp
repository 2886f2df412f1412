#include "common/AppleTime.h"

#include <cstdio>
#include <limits>

namespace vessamo {

namespace {

constexpr int64_t kQuarter = 900;

int64_t floorDiv(int64_t value, int64_t divisor) {
    const int64_t quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

std::string displayOf(const LocalTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d-%02d-%04d %02d:%02d", t.month, t.day, t.year, t.hour,
                  t.minute);
    return text;
}

std::string isoOf(const LocalTime& t) {
    const long offset = t.offsetSeconds < 0 ? -t.offsetSeconds : t.offsetSeconds;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", t.year, t.month,
                  t.day, t.hour, t.minute, t.second, t.offsetSeconds < 0 ? '-' : '+', offset / 3600,
                  (offset % 3600) / 60);
    return text;
}

}  // namespace

std::optional<std::time_t> AppleTime::toUnix() const {
    if (seconds > std::numeric_limits<int64_t>::max() - kUnixOffset) {
        return std::nullopt;
    }
    const int64_t unixSeconds = seconds + kUnixOffset;
    if (unixSeconds > std::numeric_limits<std::time_t>::max() ||
        unixSeconds < std::numeric_limits<std::time_t>::min()) {
        return std::nullopt;
    }
    return static_cast<std::time_t>(unixSeconds);
}

std::optional<LocalTime> localTimeOf(AppleTime time) {
    const auto unixTime = time.toUnix();
    std::tm local{};
    if (!unixTime || localtime_r(&*unixTime, &local) == nullptr) {
        return std::nullopt;
    }
    return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,  local.tm_hour,
                     local.tm_min,         local.tm_sec,     local.tm_gmtoff};
}

std::optional<std::string> displayTimeText(AppleTime time) {
    const auto local = localTimeOf(time);
    return local ? std::optional(displayOf(*local)) : std::nullopt;
}

std::optional<std::string> isoTimeText(AppleTime time) {
    const auto local = localTimeOf(time);
    return local ? std::optional(isoOf(*local)) : std::nullopt;
}

std::optional<LocalTime> TimeTextCache::local(AppleTime time) {
    const int64_t quarter = floorDiv(time.seconds, kQuarter);
    auto found = quarters_.find(quarter);
    if (found == quarters_.end()) {
        Quarter entry;
        if (auto start = localTimeOf(AppleTime{quarter * kQuarter})) {
            // Only a start on a quarter-hour boundary means the zone's
            // offset keeps minutes aligned for the whole quarter.
            entry.usable = start->minute % 15 == 0 && start->second == 0;
            entry.start = *start;
        }
        found = quarters_.emplace(quarter, entry).first;
    }
    if (!found->second.usable) {
        return localTimeOf(time);
    }
    LocalTime local = found->second.start;
    const int64_t into = time.seconds - quarter * kQuarter;
    local.minute += static_cast<int>(into / 60);
    local.second = static_cast<int>(into % 60);
    return local;
}

std::optional<std::string> TimeTextCache::display(AppleTime time) {
    const auto t = local(time);
    return t ? std::optional(displayOf(*t)) : std::nullopt;
}

std::optional<std::string> TimeTextCache::iso(AppleTime time) {
    const auto t = local(time);
    return t ? std::optional(isoOf(*t)) : std::nullopt;
}

}  // namespace vessamo
