#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/AppleTime.h"

namespace vessamo {

// A moment as the report shows it: calendar fields in the report's zone.
struct ClockReading {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 0;         // 0 = Sunday
    long offsetSeconds = 0;  // east of UTC
    int64_t dayNumber = 0;   // days since 1970-01-01 of the calendar date
};

// Reads message times in the local zone or in UTC. A zone changes its
// offset at most once a day, so a UTC day whose two ends have one offset is
// read with arithmetic alone: the system's calendar is asked twice a day, not
// once a message. One per thread.
class ReportClock {
public:
    explicit ReportClock(bool utc) : utc_(utc) {}

    [[nodiscard]] std::optional<ClockReading> read(AppleTime time);
    [[nodiscard]] std::optional<ClockReading> read(const std::optional<AppleTime>& time) {
        return time ? read(*time) : std::nullopt;
    }

    // "UTC", or the zone's name ("Europe/Berlin"), or its abbreviation.
    [[nodiscard]] std::string zoneName() const;
    [[nodiscard]] bool utc() const { return utc_; }

    // "15:09".
    static void appendTime(std::string& out, const ClockReading& at);
    // "Sunday, 14 March 2021".
    static void appendDayHeading(std::string& out, const ClockReading& at);
    // "14 Mar 2021".
    [[nodiscard]] static std::string shortDate(const ClockReading& at);
    // "2021-03-14T15:09:00+01:00", or with "Z" in UTC.
    static void appendIso(std::string& out, const ClockReading& at);

private:
    // The offset of one UTC day, when it is one offset all day.
    struct Day {
        int64_t number = INT64_MIN;
        bool uniform = false;
        long offset = 0;
    };
    [[nodiscard]] const Day& dayOf(int64_t unixSeconds);
    [[nodiscard]] static std::optional<ClockReading> readLocal(int64_t unixSeconds);

    static constexpr size_t kDays = 4096;
    bool utc_;
    std::vector<Day> days_;  // day n in slot n mod kDays; made on first use
};

}  // namespace vessamo
