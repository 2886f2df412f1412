#include "common/AppleTime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace vessamo {

namespace {

constexpr int64_t kQuarter = 900;

int64_t floorDiv(int64_t value, int64_t divisor) {
    const int64_t quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

// Two digits of a field, written by hand: these texts are made for every
// message of a chat page or a JSON dump, where a formatted print per field
// was most of the cost.
void appendTwo(std::string& text, int value) {
    text.push_back(static_cast<char>('0' + (value / 10) % 10));
    text.push_back(static_cast<char>('0' + value % 10));
}

bool ordinaryYear(const LocalTime& t) {
    return t.year >= 0 && t.year <= 9999;
}

void appendDisplayOf(std::string& text, const LocalTime& t) {
    if (!ordinaryYear(t)) {
        char printed[40];
        std::snprintf(printed, sizeof printed, "%02d-%02d-%04d %02d:%02d", t.month, t.day, t.year,
                      t.hour, t.minute);
        text.append(printed);
        return;
    }
    appendTwo(text, t.month);
    text.push_back('-');
    appendTwo(text, t.day);
    text.push_back('-');
    appendTwo(text, t.year / 100);
    appendTwo(text, t.year % 100);
    text.push_back(' ');
    appendTwo(text, t.hour);
    text.push_back(':');
    appendTwo(text, t.minute);
}

std::string displayOf(const LocalTime& t) {
    std::string text;
    text.reserve(16);
    appendDisplayOf(text, t);
    return text;
}

std::string isoOf(const LocalTime& t) {
    const long offset = t.offsetSeconds < 0 ? -t.offsetSeconds : t.offsetSeconds;
    if (!ordinaryYear(t) || offset / 3600 > 99) {
        char text[64];
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", t.year,
                      t.month, t.day, t.hour, t.minute, t.second, t.offsetSeconds < 0 ? '-' : '+',
                      offset / 3600, (offset % 3600) / 60);
        return text;
    }
    std::string text;
    text.reserve(25);
    appendTwo(text, t.year / 100);
    appendTwo(text, t.year % 100);
    text.push_back('-');
    appendTwo(text, t.month);
    text.push_back('-');
    appendTwo(text, t.day);
    text.push_back('T');
    appendTwo(text, t.hour);
    text.push_back(':');
    appendTwo(text, t.minute);
    text.push_back(':');
    appendTwo(text, t.second);
    text.push_back(t.offsetSeconds < 0 ? '-' : '+');
    appendTwo(text, static_cast<int>(offset / 3600));
    text.push_back(':');
    appendTwo(text, static_cast<int>((offset % 3600) / 60));
    return text;
}

}  // namespace

std::optional<AppleTime> AppleTime::fromSeconds(double seconds) {
    if (std::isnan(seconds)) {
        return std::nullopt;
    }
    // Twice the limit: past it, and exact as a double.
    const double held = 2.0 * static_cast<double>(kLimit);
    return AppleTime{static_cast<int64_t>(std::clamp(seconds, -held, held))};
}

std::optional<std::time_t> AppleTime::toUnix() const {
    if (!hasDate()) {
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
    if (!time.hasDate()) {
        return std::nullopt;  // before the quarter's arithmetic, which would overflow
    }
    const int64_t quarter = floorDiv(time.seconds, kQuarter);
    if (quarters_.empty()) {
        quarters_.resize(kMaxQuarters);
    }
    // Years of messages touch hundreds of thousands of quarter hours;
    // keeping them all would grow without bound for no gain, since
    // messages come roughly in time order.
    Quarter& slot = quarters_[static_cast<uint64_t>(quarter) % kMaxQuarters];
    if (!slot.known || slot.number != quarter) {
        slot = Quarter{quarter, true, false, LocalTime{}};
        if (auto start = localTimeOf(AppleTime{quarter * kQuarter})) {
            // Only a start on a quarter-hour boundary means the zone's
            // offset keeps minutes aligned for the whole quarter.
            slot.usable = start->minute % 15 == 0 && start->second == 0;
            slot.start = *start;
        }
    }
    if (!slot.usable) {
        return localTimeOf(time);
    }
    LocalTime local = slot.start;
    const int64_t into = time.seconds - quarter * kQuarter;
    local.minute += static_cast<int>(into / 60);
    local.second = static_cast<int>(into % 60);
    return local;
}

bool TimeTextCache::appendDisplay(std::string& out, AppleTime time) {
    const auto t = local(time);
    if (t) {
        appendDisplayOf(out, *t);
    }
    return t.has_value();
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
