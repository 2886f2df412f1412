#pragma once

#include <compare>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace vessamo {

// A moment as iOS and WhatsApp store it: whole seconds since the reference
// date 2001-01-01 00:00 UTC. Kept as the number it is; turned into text
// only where a person sees it.
struct AppleTime {
    static constexpr int64_t kUnixOffset = 978307200;  // 1970 to 2001, in seconds

    int64_t seconds = 0;

    // Moments further than this from 2001 (some 1.1 billion years) have
    // no calendar date: damaged records store anything, up to the
    // saturated limits of a 64-bit number, and no conversion may overflow.
    static constexpr int64_t kLimit = int64_t{1} << 55;

    [[nodiscard]] static AppleTime fromUnix(std::time_t unixSeconds) {
        return AppleTime{static_cast<int64_t>(unixSeconds) - kUnixOffset};
    }
    // Whole seconds toward zero, held at the limits; nullopt for NaN.
    [[nodiscard]] static std::optional<AppleTime> fromSeconds(double seconds);
    [[nodiscard]] bool hasDate() const { return seconds >= -kLimit && seconds <= kLimit; }
    // nullopt when the moment has no date or does not fit the system's
    // time type.
    [[nodiscard]] std::optional<std::time_t> toUnix() const;

    auto operator<=>(const AppleTime&) const = default;
};

// The calendar fields of a moment in the local time zone, with the zone's
// offset east of UTC in seconds. nullopt when the system has no local date.
struct LocalTime {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    long offsetSeconds = 0;
};
[[nodiscard]] std::optional<LocalTime> localTimeOf(AppleTime time);

// "MM-DD-YYYY hh:mm" in local time, the way dates are shown everywhere;
// nullopt when the moment has no local date.
[[nodiscard]] std::optional<std::string> displayTimeText(AppleTime time);
// "YYYY-MM-DDThh:mm:ss+hh:mm" in local time; nullopt as above.
[[nodiscard]] std::optional<std::string> isoTimeText(AppleTime time);

// Formats many moments fast: the local calendar is worked out once per
// quarter hour and the minutes and seconds added, which gives the texts a
// conversion of every moment would give (zones whose offset is not a
// whole number of quarter hours are converted one by one). One per thread.
class TimeTextCache {
public:
    [[nodiscard]] std::optional<std::string> display(AppleTime time);
    [[nodiscard]] std::optional<std::string> iso(AppleTime time);
    // The display text appended to out; false (and nothing appended) when
    // the moment has no local date. Spares a text per message.
    bool appendDisplay(std::string& out, AppleTime time);

private:
    struct Quarter {
        int64_t number = 0;
        bool known = false;
        bool usable = false;
        LocalTime start;
    };
    [[nodiscard]] std::optional<LocalTime> local(AppleTime time);

    // Quarter n lives in slot n mod kMaxQuarters, replacing whatever was
    // there: bounded, and no allocation or search per message.
    static constexpr size_t kMaxQuarters = 4096;
    std::vector<Quarter> quarters_;  // allocated on first use
};

}  // namespace vessamo
