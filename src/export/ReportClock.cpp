#include "export/ReportClock.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <fstream>

namespace vessamo {

namespace {

constexpr const char* kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
constexpr const char* kMonths[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's method).
int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = floorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, ClockReading& at) {
    z += 719468;
    const int64_t era = floorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    at.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    at.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    at.year = static_cast<int>(era * 400 + yoe + (at.month <= 2 ? 1 : 0));
}

int weekdayOf(int64_t dayNumber) {
    return static_cast<int>(((dayNumber % 7) + 11) % 7);  // 1970-01-01 was a Thursday
}

ClockReading fromSeconds(int64_t localSeconds, long offset) {
    ClockReading at;
    const int64_t days = floorDiv(localSeconds, 86400);
    const int64_t inDay = localSeconds - days * 86400;
    civilFromDays(days, at);
    at.hour = static_cast<int>(inDay / 3600);
    at.minute = static_cast<int>(inDay / 60 % 60);
    at.second = static_cast<int>(inDay % 60);
    at.dayNumber = days;
    at.weekday = weekdayOf(days);
    at.offsetSeconds = offset;
    return at;
}

void appendTwo(std::string& out, int value) {
    out.push_back(static_cast<char>('0' + value / 10 % 10));
    out.push_back(static_cast<char>('0' + value % 10));
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

}  // namespace

std::optional<ClockReading> ReportClock::read(AppleTime time) {
    const int64_t unixSeconds = time.seconds + AppleTime::kUnixOffset;
    if (utc_) {
        return fromSeconds(unixSeconds, 0);
    }
    const Day& day = dayOf(unixSeconds);
    if (day.uniform) {
        return fromSeconds(unixSeconds + day.offset, day.offset);
    }
    return readLocal(unixSeconds);
}

const ReportClock::Day& ReportClock::dayOf(int64_t unixSeconds) {
    if (days_.empty()) {
        days_.resize(kDays);
    }
    const int64_t number = floorDiv(unixSeconds, 86400);
    Day& day = days_[static_cast<size_t>(number & (kDays - 1))];
    if (day.number != number) {
        const std::optional<ClockReading> start = readLocal(number * 86400);
        const std::optional<ClockReading> end = readLocal(number * 86400 + 86399);
        day.number = number;
        day.uniform = start && end && start->offsetSeconds == end->offsetSeconds;
        day.offset = start ? start->offsetSeconds : 0;
    }
    return day;
}

std::optional<ClockReading> ReportClock::readLocal(int64_t unixSeconds) {
    const auto seconds = static_cast<std::time_t>(unixSeconds);
    std::tm local{};
    if (seconds != unixSeconds || localtime_r(&seconds, &local) == nullptr) {
        return std::nullopt;
    }
    ClockReading at;
    at.year = local.tm_year + 1900;
    at.month = local.tm_mon + 1;
    at.day = local.tm_mday;
    at.hour = local.tm_hour;
    at.minute = local.tm_min;
    at.second = local.tm_sec;
    at.offsetSeconds = local.tm_gmtoff;
    at.dayNumber = daysFromCivil(at.year, at.month, at.day);
    at.weekday = weekdayOf(at.dayNumber);
    return at;
}

std::string ReportClock::zoneName() const {
    if (utc_) {
        return "UTC";
    }
    if (const char* tz = std::getenv("TZ"); tz != nullptr && *tz != '\0') {
        const std::string name = tz[0] == ':' ? tz + 1 : tz;
        const size_t zoneinfo = name.find("zoneinfo/");
        return zoneinfo == std::string::npos ? name : name.substr(zoneinfo + 9);
    }
    char target[PATH_MAX];
    const ssize_t length = ::readlink("/etc/localtime", target, sizeof target - 1);
    if (length > 0) {
        const std::string link(target, static_cast<size_t>(length));
        if (const size_t at = link.find("zoneinfo/"); at != std::string::npos) {
            return link.substr(at + 9);
        }
    }
    if (std::ifstream file("/etc/timezone"); file) {
        std::string name;
        std::getline(file, name);
        if (!trimmed(name).empty()) {
            return trimmed(name);
        }
    }
    ::tzset();
    return tzname[0] != nullptr ? tzname[0] : "local time";
}

void ReportClock::appendTime(std::string& out, const ClockReading& at) {
    appendTwo(out, at.hour);
    out.push_back(':');
    appendTwo(out, at.minute);
}

void ReportClock::appendDayHeading(std::string& out, const ClockReading& at) {
    out.append(kWeekdays[at.weekday]).append(", ").append(std::to_string(at.day));
    out.push_back(' ');
    out.append(kMonths[at.month - 1]).push_back(' ');
    out.append(std::to_string(at.year));
}

std::string ReportClock::shortDate(const ClockReading& at) {
    return std::to_string(at.day) + " " + std::string(kMonths[at.month - 1], 3) + " " +
           std::to_string(at.year);
}

void ReportClock::appendIso(std::string& out, const ClockReading& at) {
    out.append(std::to_string(at.year)).push_back('-');
    appendTwo(out, at.month);
    out.push_back('-');
    appendTwo(out, at.day);
    out.push_back('T');
    appendTwo(out, at.hour);
    out.push_back(':');
    appendTwo(out, at.minute);
    out.push_back(':');
    appendTwo(out, at.second);
    if (at.offsetSeconds == 0) {
        out.push_back('Z');
        return;
    }
    const long offset = at.offsetSeconds < 0 ? -at.offsetSeconds : at.offsetSeconds;
    out.push_back(at.offsetSeconds < 0 ? '-' : '+');
    appendTwo(out, static_cast<int>(offset / 3600));
    out.push_back(':');
    appendTwo(out, static_cast<int>(offset / 60 % 60));
}

}  // namespace vessamo
