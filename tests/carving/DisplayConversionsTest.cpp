#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "carving/DisplayConversions.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

TEST(DisplayDate, ShowsTheCalendarDateInUtc) {
    const test::ScopedTimeZone zone("UTC");
    EXPECT_EQ(GetDateTime(0, 0), "01-01-2001 00:00");
    EXPECT_EQ(GetDateTime(500000000, 0), "11-05-2016 00:53");
    EXPECT_EQ(GetDateTime(474554040, 0), "01-15-2016 12:34");
    EXPECT_EQ(GetDateTime(59, 0), "01-01-2001 00:00");  // minutes are cut, not rounded
    EXPECT_EQ(GetDateTime(-1, 0), "12-31-2000 23:59");
}

TEST(DisplayDate, LeapDaysFollowTheGregorianRules) {
    const test::ScopedTimeZone zone("UTC");
    EXPECT_EQ(GetDateTime(478432800, 0), "02-29-2016 10:00");
    EXPECT_EQ(GetDateTime(-26438460, 0), "02-29-2000 23:59");  // 2000 is a leap year
    EXPECT_EQ(GetDateTime(3129235140, 0), "02-28-2100 23:59");
    EXPECT_EQ(GetDateTime(3129235200, 0), "03-01-2100 00:00");  // 2100 is not
}

TEST(DisplayDate, ShowsLocalTime) {
    {
        const test::ScopedTimeZone zone("IST-5:30");  // India, without relying on tzdata
        EXPECT_EQ(GetDateTime(0, 0), "01-01-2001 05:30");
        EXPECT_EQ(GetDateTime(474554040, 0), "01-15-2016 18:04");
    }
    const test::ScopedTimeZone zone("EST5");
    EXPECT_EQ(GetDateTime(0, 0), "12-31-2000 19:00");
}

TEST(DisplayDate, FileTypeDoesNotChangeTheText) {
    const test::ScopedTimeZone zone("UTC");
    for (int fileType : {1, 2, -1}) {
        EXPECT_EQ(GetDateTime(500000000, fileType), GetDateTime(500000000, 0));
    }
}

TEST(DisplayDate, MomentsWithoutACalendarDateGiveNothing) {
    const test::ScopedTimeZone zone("UTC");
    EXPECT_EQ(GetDateTime(std::numeric_limits<int64_t>::max(), 0), std::nullopt);
    EXPECT_EQ(GetDateTime(std::numeric_limits<int64_t>::min(), 0), std::nullopt);
}

TEST(DisplayDate, DateTextBlanksWhenMissingOrEmpty) {
    EXPECT_EQ(GetNSStringDate(std::nullopt), " ");
    EXPECT_EQ(GetNSStringDate(std::string()), " ");
    EXPECT_EQ(GetNSStringDate(std::string("01-15-2016 12:34")), "01-15-2016 12:34");
}

TEST(DisplayText, DecodesUtf8IntoCodePoints) {
    std::u32string out = U"stale";
    const auto* text = reinterpret_cast<const uint8_t*>("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x91\x8B");
    EXPECT_EQ(Char2Unicode(text, out), 4u);
    EXPECT_EQ(out, U"a\u00E9\u20AC\U0001F44B");
    const auto* empty = reinterpret_cast<const uint8_t*>("");
    EXPECT_EQ(Char2Unicode(empty, out), 0u);
    EXPECT_TRUE(out.empty());
}

TEST(DisplayText, MalformedOrMissingUtf8GivesNothing) {
    for (const char* bad :
         {"ok\xC3\x28", "\xE2\x82", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
        std::u32string out = U"stale";
        EXPECT_EQ(Char2Unicode(reinterpret_cast<const uint8_t*>(bad), out), 0u);
        EXPECT_TRUE(out.empty());
    }
    std::u32string out = U"stale";
    EXPECT_EQ(Char2Unicode(nullptr, out), 0u);
    EXPECT_TRUE(out.empty());
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

TEST(DisplayContacts, FindsTheFirstContactWhoseNumberContainsTheCleanedNumber) {
    const std::vector<ContactPhoneEntry> contacts = {{"Anna", ""},
                                                     {"Ben", "+44 (20) 7946-0958"},
                                                     {"Cara", "+44 20 7946 0958"},
                                                     {"Dev", "1-800-FLOWERS"}};
    EXPECT_EQ(getNameByPhoneNumber("7946 0958", contacts), "Ben");
    EXPECT_EQ(getNameByPhoneNumber("(20)79460958", contacts), "Ben");
    EXPECT_EQ(getNameByPhoneNumber("flowers", contacts), "Dev");
    EXPECT_EQ(getNameByPhoneNumber("(020) 7946", contacts), std::nullopt);          // not contained
    EXPECT_EQ(getNameByPhoneNumber("+44 20 7946 0958 1", contacts), std::nullopt);  // longer
    EXPECT_EQ(getNameByPhoneNumber("7946", {}), std::nullopt);
}

// An empty number would be "contained" in every phone and name whoever
// comes first; it names nobody instead.
TEST(DisplayContacts, ANumberOfOnlySeparatorsNamesNobody) {
    const std::vector<ContactPhoneEntry> contacts = {{"Anna", ""}, {"Ben", "555-0100"}};
    EXPECT_EQ(getNameByPhoneNumber("", contacts), std::nullopt);
    EXPECT_EQ(getNameByPhoneNumber(" - ( ) ", contacts), std::nullopt);
    EXPECT_EQ(getNameByPhoneNumber("0100", contacts), "Ben");
}

}  // namespace
}  // namespace vessamo
