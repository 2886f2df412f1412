#include <gtest/gtest.h>

#include <vector>

#include "carving/PhoneNameIndex.h"
#include "common/PhoneNumberKeys.h"
#include "common/WhatsAppIds.h"

namespace vessamo {
namespace {

TEST(PhoneNumberKeys, NationalAndInternationalFormsMeet) {
    const PhoneNumberKeys us("US");
    const std::string wanted = "+19198887386";
    EXPECT_EQ(PhoneNumberKeys::keyOfInternational("19198887386"), wanted);
    for (const char* written : {"(919) 888-7386", " (919) 888-7386", "919.888.7386",
                                "+1 919 888 7386", "1-919-888-7386", "011 1 919 888 7386"}) {
        EXPECT_EQ(us.key(written), wanted) << written;
    }
    // With and without the trunk prefix, and by the international dialling
    // prefix of the region.
    const PhoneNumberKeys de("DE");
    for (const char* written :
         {"0170 12345678", "170 12345678", "+49 170 12345678", "0049 170 12345678"}) {
        EXPECT_EQ(de.key(written), "+4917012345678") << written;
    }
    // Italian numbers keep their leading zero after the country code.
    EXPECT_EQ(PhoneNumberKeys("IT").key("06 1234 5678"), "+390612345678");
}

TEST(PhoneNumberKeys, AnotherCountrysNumberKeepsItsOwnCode) {
    const PhoneNumberKeys us("US");
    EXPECT_EQ(us.key("+44 20 7946 0958"), "+442079460958");
    EXPECT_EQ(us.key("+49 30 123456"), "+4930123456");
    // The same digits read in two regions are two numbers.
    EXPECT_NE(PhoneNumberKeys("DE").key("030 123456"), us.key("030 123456"));
}

TEST(PhoneNumberKeys, TextsThatAreNoNumberGiveNone) {
    const PhoneNumberKeys us("US");
    for (const char* written : {"", "12", "1-800-MY-APPLE", "anna@example.org",
                                "19198887386@s.whatsapp.net", "call me", "++--()"}) {
        EXPECT_FALSE(us.key(written)) << written;
    }
    // Without a region only numbers that carry their country code parse.
    const PhoneNumberKeys none;
    EXPECT_FALSE(none.key("(919) 888-7386"));
    EXPECT_EQ(none.key("+1 (919) 888-7386"), "+19198887386");
    // An unknown region is no region.
    EXPECT_EQ(PhoneNumberKeys("XX").region(), "");
    EXPECT_FALSE(PhoneNumberKeys::keyOfInternational("1919-888"));
    EXPECT_FALSE(PhoneNumberKeys::keyOfInternational(""));
}

TEST(PhoneNumberKeys, EveryNumberOfAJoinedAddressBookText) {
    const PhoneNumberKeys us("US");
    EXPECT_EQ(us.keysIn(" (919) 579-0479 (919) 391-2507"),
              (std::vector<std::string>{"+19195790479", "+19193912507"}));
    EXPECT_EQ(us.keysIn(" +49 170 12345678"), std::vector<std::string>{"+4917012345678"});
    EXPECT_TRUE(us.keysIn(" 1-800-MY-APPLE x").empty());
}

TEST(PhoneNumberKeys, RegionsOfNumbersAndLocales) {
    EXPECT_EQ(regionOfInternationalNumber("19195794674"), "US");
    EXPECT_EQ(regionOfInternationalNumber("491609876543"), "DE");
    EXPECT_EQ(regionOfInternationalNumber("442079460958"), "GB");
    EXPECT_EQ(regionOfInternationalNumber("205690463334636@lid"), "");
    EXPECT_EQ(regionOfInternationalNumber(""), "");
    EXPECT_EQ(regionOfLocale("en_US"), "US");
    EXPECT_EQ(regionOfLocale("de-de"), "DE");
    EXPECT_EQ(regionOfLocale("fr_CH@currency=CHF"), "CH");
    EXPECT_EQ(regionOfLocale("en"), "");
    EXPECT_EQ(regionOfLocale("zh_Hans_CN"), "CN");
    EXPECT_EQ(regionOfLocale("es_419"), "");
}

std::vector<ContactPhoneEntry> book(
    std::initializer_list<std::pair<std::string_view, std::string_view>> people) {
    std::vector<ContactPhoneEntry> entries;
    for (auto [name, phone] : people) {
        entries.push_back(ContactPhoneEntry{name, phone});
    }
    return entries;
}

TEST(PhoneNameIndex, ANumberSavedWithoutCountryCodeIsFound) {
    const auto contacts = book({{"Nobody", ""},
                                {"Josh Hickman", " (919) 579-0479 (919) 391-2507"},
                                {"This Is DFIR Two", " (919) 888-7386"},
                                {"Anna", " 0170 12345678"}});
    PhoneNameIndex us(contacts, "US");
    EXPECT_EQ(us.nameFor("19198887386"), "This Is DFIR Two");
    EXPECT_EQ(us.nameFor("19193912507"), "Josh Hickman");  // the second of two numbers
    // German national form, read in the region of the number looked for
    // when the index has none.
    PhoneNameIndex unknownRegion(contacts);
    EXPECT_EQ(unknownRegion.nameFor("4917012345678"), "Anna");
    EXPECT_EQ(unknownRegion.nameFor("19198887386"), "This Is DFIR Two");
    // In the US region the German national form is another number.
    EXPECT_EQ(us.nameFor("4917012345678"), std::nullopt);
}

TEST(PhoneNameIndex, TheContainmentRuleRemainsForWhatDoesNotParse) {
    const auto contacts =
        book({{"Apple", " 1-800-MY-APPLE"}, {"Ben", " +49 151 2345678"}, {"Short", " 112"}});
    PhoneNameIndex index(contacts, "DE");
    EXPECT_EQ(index.nameFor("my-apple"), "Apple");  // letters: only containment finds it
    EXPECT_EQ(index.nameFor("1512345678"), "Ben");  // a part of the number
    EXPECT_EQ(index.nameFor("112"), "Short");       // the first number that holds it
    EXPECT_EQ(index.nameFor("--"), std::nullopt);   // nothing left to look for
    EXPECT_EQ(index.nameFor("4930999999"), std::nullopt);
    // The first contact of a number wins, as a walk in order would find it.
    const auto twice = book({{"First", " +44 20 7946 0958"}, {"Second", " 020 7946 0958"}});
    PhoneNameIndex gb(twice, "GB");
    EXPECT_EQ(gb.nameFor("442079460958"), "First");
}

TEST(WhatsAppIds, JidKindsAndEncodedPushNames) {
    EXPECT_TRUE(isLidJid("205690463334636@lid"));
    EXPECT_TRUE(isLidJid("205690463334636@LID"));
    EXPECT_FALSE(isLidJid("@lid"));
    EXPECT_FALSE(isLidJid("19198887386@s.whatsapp.net"));
    EXPECT_TRUE(isPersonJid("19198887386@s.whatsapp.net"));
    EXPECT_TRUE(isPersonJid("205690463334636@lid"));
    EXPECT_FALSE(isPersonJid("120363044520422953@g.us"));
    EXPECT_TRUE(isGroupJid("120363044520422953@g.us"));

    // What josh_ios15 keeps in ZPUSHNAME, and names people really have.
    for (const char* blob :
         {"CO/kxKIGIAA=", "COrlxKIGIABIAQ==", "CL/lxKIGGhoxOTE5NTc5NDY3NEBzLndoYXRzYXBwLm5ldCAB"}) {
        EXPECT_TRUE(looksLikeEncodedBlob(blob)) << blob;
    }
    for (const char* name : {"Anna", "DFIR Two", "Benjamin", "Anna ✨", "BENJAMIN", "ABCDEFGH",
                             "Ana Luis", "", "Christopher"}) {
        EXPECT_FALSE(looksLikeEncodedBlob(name)) << name;
    }
}

}  // namespace
}  // namespace vessamo
