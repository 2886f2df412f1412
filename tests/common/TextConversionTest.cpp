#include <gtest/gtest.h>

#include "common/TextConversion.h"

namespace vessamo {
namespace {

TEST(TextConversion, ColumnTextsBecomeOneBlankWhenEmptyOrMalformed) {
    EXPECT_EQ(GetStringFormChar(std::optional<std::string>()), " ");
    EXPECT_EQ(GetStringFormChar(std::string()), " ");
    EXPECT_EQ(GetStringFormChar(std::string("\xC3\x28", 2)), " ");          // bad continuation
    EXPECT_EQ(GetStringFormChar(std::string("\xE2\x82", 2)), " ");          // cut sequence
    EXPECT_EQ(GetStringFormChar(std::string("\xC0\xAF", 2)), " ");          // overlong "/"
    EXPECT_EQ(GetStringFormChar(std::string("\xED\xA0\x80", 3)), " ");      // surrogate
    EXPECT_EQ(GetStringFormChar(std::string("\xF4\x90\x80\x80", 4)), " ");  // past U+10FFFF
    EXPECT_EQ(GetStringFormChar(std::string("Grüße 👋")), "Grüße 👋");
    EXPECT_EQ(GetStringFormChar(std::string("cut\0here", 8)), "cut");
    EXPECT_EQ(GetStringFormChar(std::string("\0here", 5)), " ");
}

TEST(TextConversion, CaseInsensitiveContainsIsAsciiOnly) {
    EXPECT_TRUE(containsCaseInsensitive("Message/MEDIA/x.jpg", "message/media/"));
    EXPECT_TRUE(containsCaseInsensitive("AAA~WhatsApp~x", "~whatsapp"));
    EXPECT_FALSE(containsCaseInsensitive("Messages/Media", "message/media/"));
    EXPECT_TRUE(containsCaseInsensitive("anything", ""));
}

}  // namespace
}  // namespace vessamo
