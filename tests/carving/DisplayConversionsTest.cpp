#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "carving/DisplayConversions.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

struct DateCase {
    const char* zone;
    int64_t seconds;
    std::optional<std::string> text;
};

TEST(DisplayDate, ShowsTheLocalCalendarDateWithMinutesCut) {
    const std::vector<DateCase> table = {
        {"UTC", 0, "01-01-2001 00:00"},
        {"UTC", 500000000, "11-05-2016 00:53"},
        {"UTC", 59, "01-01-2001 00:00"},  // cut, not rounded
        {"UTC", -1, "12-31-2000 23:59"},
        {"UTC", 478432800, "02-29-2016 10:00"},
        {"UTC", -26438460, "02-29-2000 23:59"},  // 2000 is a leap year
        {"UTC", 3129235140, "02-28-2100 23:59"},
        {"UTC", 3129235200, "03-01-2100 00:00"},  // 2100 is not
        {"IST-5:30", 474554040, "01-15-2016 18:04"},
        {"EST5", 0, "12-31-2000 19:00"},
        {"UTC", std::numeric_limits<int64_t>::max(), std::nullopt},
        {"UTC", std::numeric_limits<int64_t>::min(), std::nullopt},
    };
    for (const auto& [zone, seconds, text] : table) {
        const test::ScopedTimeZone scoped(zone);
        for (int fileType : {0, 1, -1}) {  // every source stores dates alike
            EXPECT_EQ(GetDateTime(seconds, fileType), text) << zone << " " << seconds;
        }
    }
}

TEST(DisplayText, DecodesUtf8IntoCodePointsOrNothing) {
    const std::vector<std::pair<const char*, std::u32string>> table = {
        {"a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x91\x8B", U"a\u00E9\u20AC\U0001F44B"},
        {"", U""},
        {"ok\xC3\x28", U""},
        {"\xE2\x82", U""},
        {"\xC0\xAF", U""},          // overlong
        {"\xED\xA0\x80", U""},      // surrogate
        {"\xF4\x90\x80\x80", U""},  // past U+10FFFF
        {nullptr, U""},
    };
    for (const auto& [utf8, points] : table) {
        std::u32string out = U"stale";
        EXPECT_EQ(Char2Unicode(reinterpret_cast<const uint8_t*>(utf8), out), points.size());
        EXPECT_EQ(out, points);
    }
}

TEST(DisplayDuration, UsesTheLargestWholeUnit) {
    const std::vector<std::pair<int32_t, std::string>> table = {
        {0, "0 second"},
        {1, "1 second"},
        {2, "2 seconds"},
        {59, "59 seconds"},
        {60, "1 minute"},
        {119, "1 minute"},
        {120, "2 minutes"},
        {3599, "59 minutes"},
        {3600, "1 hour"},
        {7199, "1 hour"},
        {7200, "2 hours"},
        {10799, "2 hours"},
        {-5, "-5 second"},
        {-65, "-5 second"},
        {-60, "0 second"},
        {std::numeric_limits<int32_t>::max(), "596523 hours"},
        {std::numeric_limits<int32_t>::min(), "-8 second"}};
    for (const auto& [seconds, text] : table) {
        EXPECT_EQ(getCallHistoryDuration(seconds), text) << seconds;
    }
}

TEST(DisplaySize, UsesDecimalUnitsInSinglePrecision) {
    EXPECT_EQ(size_to_unit(0), "0.00B");
    EXPECT_EQ(size_to_unit(999), "999.00B");
    EXPECT_EQ(size_to_unit(1000), "1.00K");
    EXPECT_EQ(size_to_unit(1536), "1.54K");
    EXPECT_EQ(size_to_unit(999999), "1000.00K");  // 999.999 rounds up within the unit
    EXPECT_EQ(size_to_unit(1000000), "1.00M");
    EXPECT_EQ(size_to_unit(2500000000ULL), "2.50G");
    EXPECT_EQ(size_to_unit(1000000000000ULL), "1.00T");
    EXPECT_EQ(size_to_unit(3000000000000000ULL), "3000.00T");
}

TEST(DisplayName, PadsNumbersToEightDigits) {
    EXPECT_EQ(getFullName(0), "00000000");
    EXPECT_EQ(getFullName(42), "00000042");
    EXPECT_EQ(getFullName(12345678), "12345678");
    EXPECT_EQ(getFullName(123456789), "123456789");
    EXPECT_EQ(getFullName(std::numeric_limits<uint64_t>::max()), "18446744073709551615");
}

// An empty number would be "contained" in every phone, naming whoever
// comes first; it names nobody instead.
TEST(DisplayContacts, FindsTheFirstContactWhoseNumberContainsTheCleanedNumber) {
    const std::vector<ContactPhoneEntry> contacts = {{"Anna", ""},
                                                     {"Ben", "+44 (20) 7946-0958"},
                                                     {"Cara", "+44 20 7946 0958"},
                                                     {"Dev", "1-800-FLOWERS"}};
    const std::vector<std::pair<const char*, std::optional<std::string>>> table = {
        {"7946 0958", "Ben"},
        {"(20)79460958", "Ben"},
        {"flowers", "Dev"},
        {"(020) 7946", std::nullopt},          // not contained
        {"+44 20 7946 0958 1", std::nullopt},  // longer
        {"", std::nullopt},
        {" - ( ) ", std::nullopt},
    };
    for (const auto& [phone, name] : table) {
        EXPECT_EQ(getNameByPhoneNumber(phone, contacts), name) << phone;
    }
    EXPECT_EQ(getNameByPhoneNumber("7946", {}), std::nullopt);
}

}  // namespace
}  // namespace vessamo
