#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

namespace vessamo {

// The display text of stored message times, for a whole chat database:
// the local calendar time is worked out once per quarter hour and the
// minutes added, which gives the same text as converting every message.
class MessageDateText {
public:
    [[nodiscard]] std::string textOf(int64_t seconds2001);

private:
    struct QuarterHour {
        bool usable = false;
        std::string prefix;  // "MM-DD-YYYY hh:"
        int minute = 0;      // the quarter hour's first minute
    };
    std::unordered_map<int64_t, QuarterHour> quarters_;
};

}  // namespace vessamo
