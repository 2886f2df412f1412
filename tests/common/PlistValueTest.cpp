#include "common/PlistValue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/ScratchFolder.h"
#include "support/TestSupport.h"

namespace vessamo {

// Failure messages show values as XML rather than raw bytes.
static void PrintTo(const PlistValue& value, std::ostream* out) {
    *out << value.toXml();
}

namespace {

using Bytes = PlistValue::Bytes;

std::span<const uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// The value under `key`, or None, so a missing key fails an expectation
// instead of crashing the run.
const PlistValue& at(const PlistValue& dictionary, std::string_view key) {
    static const PlistValue none;
    const PlistValue* found = dictionary.find(key);
    return found != nullptr ? *found : none;
}

std::optional<PlistValue> viaBinary(const PlistValue& value) {
    return PlistValue::fromBytes(value.toBinary());
}

std::optional<PlistValue> viaXml(const PlistValue& value) {
    return PlistValue::fromBytes(bytesOf(value.toXml()));
}

// Builds a binary list from raw objects with 4-byte offsets and references.
Bytes binaryList(const std::vector<Bytes>& objects) {
    Bytes list{'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    std::vector<uint32_t> offsets;
    for (const Bytes& object : objects) {
        offsets.push_back(static_cast<uint32_t>(list.size()));
        list.insert(list.end(), object.begin(), object.end());
    }
    const uint64_t table = list.size();
    auto putBigEndian = [&list](uint64_t value, int width) {
        for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) {
            list.push_back(static_cast<uint8_t>(value >> shift));
        }
    };
    for (uint32_t offset : offsets) {
        putBigEndian(offset, 4);
    }
    list.insert(list.end(), {0, 0, 0, 0, 0, 0, 4, 4});
    putBigEndian(objects.size(), 8);
    putBigEndian(0, 8);
    putBigEndian(table, 8);
    return list;
}

// Each array holds the next one `fanOut` times; the last array holds `true`.
Bytes nestedArrays(uint32_t depth, uint8_t fanOut = 1) {
    std::vector<Bytes> objects;
    for (uint32_t i = 1; i <= depth; ++i) {
        Bytes array{static_cast<uint8_t>(0xA0 | fanOut)};
        for (uint8_t copy = 0; copy < fanOut; ++copy) {
            array.insert(array.end(), {static_cast<uint8_t>(i >> 24), static_cast<uint8_t>(i >> 16),
                                       static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)});
        }
        objects.push_back(array);
    }
    objects.push_back({0x09});
    return binaryList(objects);
}

std::string nestedXml(size_t depth, std::string_view inside = "<array>",
                      std::string_view closing = "</array>") {
    std::string text = "<plist>";
    for (size_t i = 0; i < depth; ++i) {
        text += inside;
    }
    for (size_t i = 0; i < depth; ++i) {
        text += closing;
    }
    return text + "</plist>";
}

// A data value as only parsing makes one: a one-object binary list.
PlistValue dataValue(const Bytes& bytes) {
    Bytes object{0x4F, 0x13};
    for (int shift = 56; shift >= 0; shift -= 8) {
        object.push_back(static_cast<uint8_t>(static_cast<uint64_t>(bytes.size()) >> shift));
    }
    object.insert(object.end(), bytes.begin(), bytes.end());
    const auto parsed = PlistValue::fromBytes(binaryList({object}));
    EXPECT_TRUE(parsed && parsed->type() == PlistValue::Type::Data);
    return parsed.value_or(PlistValue());
}

PlistValue sampleTree() {
    Bytes withZeros{0, 1, 0, 0xFF, 0};
    PlistValue::Dictionary inner{
        {"list", PlistValue::array(
                     {PlistValue::integer(1), PlistValue::string("two"), PlistValue::array()})},
        {"empty", PlistValue::dictionary()}};
    return PlistValue::dictionary({{"inner", PlistValue::dictionary(std::move(inner))},
                                   {"blob", dataValue(withZeros)},
                                   {"flag", PlistValue::boolean(false)},
                                   {"when", PlistValue::date(PlistDate{599627045})},
                                   {"ratio", PlistValue::real(-0.1)},
                                   {"clé ✓", PlistValue::string("written as UTF-16")}});
}

TEST(PlistValue, ValuesSurviveBothFormats) {
    const std::vector<PlistValue> values{
        PlistValue::string(""),
        PlistValue::string("Ünïcødé ✓ 😀 and ASCII"),
        PlistValue::integer(0),
        PlistValue::integer(-5),
        PlistValue::integer(std::numeric_limits<int64_t>::min()),
        PlistValue::integer(std::numeric_limits<int64_t>::max()),
        PlistValue::integer(int64_t{1} << 40),
        PlistValue::real(3.141592653589793),
        PlistValue::real(-1e-300),
        PlistValue::boolean(true),
        PlistValue::boolean(false),
        dataValue({}),
        dataValue({0, 0, 7, 0}),
        PlistValue::date(PlistDate{-978307200}),
        sampleTree(),
    };
    for (const PlistValue& value : values) {
        const auto array = PlistValue::array({value});
        EXPECT_EQ(viaBinary(value), value);
        EXPECT_EQ(viaXml(value), value);
        EXPECT_EQ(viaBinary(array), array);
    }
    const auto large = PlistValue::dictionary({{"payload", dataValue(Bytes(3 << 20, 0xAB))}});
    EXPECT_EQ(viaBinary(large), large);
    // Data keeps its bytes: written out they are what was read.
    EXPECT_NE(dataValue({0, 1, 2, 0xFF}).toXml().find("AAEC/w=="), std::string::npos);

    const auto archive = PlistValue::dictionary(
        {{"$top", PlistValue::dictionary({{"root", PlistValue::uid(1)}})},
         {"$objects", PlistValue::array({PlistValue::string("$null"), PlistValue::uid(300),
                                         PlistValue::uid(0xFFFFFFFF)})}});
    EXPECT_EQ(viaBinary(archive), archive);
    EXPECT_EQ(viaXml(archive), archive);
    // Binary UIDs hold 32 bits; a wider one must fail rather than change.
    const auto wide = PlistValue::array({PlistValue::uid(uint64_t{1} << 32)});
    EXPECT_TRUE(wide.toBinary().empty());
    EXPECT_EQ(viaXml(wide), wide);
    EXPECT_NE(PlistValue::uid(4).toXml().find("<key>CF$UID</key>"), std::string::npos);
}

TEST(PlistValue, DatesCountFromTheMacEpoch) {
    const auto parsed = PlistValue::fromBytes(
        bytesOf("<plist><array><date>2001-01-01T00:00:00Z</date><date>2020-01-02T03:04:05Z</date>"
                "<date>1970-01-01T00:00:00Z</date></array></plist>"));
    ASSERT_TRUE(parsed && parsed->asArray() && parsed->asArray()->size() == 3);
    const auto& dates = *parsed->asArray();
    EXPECT_EQ(dates[0].asDate(), PlistDate{0});
    EXPECT_EQ(dates[1].asDate(), PlistDate{599627045});
    EXPECT_EQ(dates[1].asDate()->unixTime(), 1577934245.0);
    EXPECT_EQ(dates[2].asDate(), PlistDate::fromUnixTime(0));
    const std::string xml = PlistValue::date(PlistDate{599627045}).toXml();
    EXPECT_NE(xml.find("<date>2020-01-02T03:04:05Z</date>"), std::string::npos) << xml;
}

TEST(PlistValue, BinaryDatesKeepFractionsAndFarYears) {
    // Just before 2001, past 2069 (Apple's distant future) and before 1933.
    for (double seconds : {599627045.123456, -0.25, -122.543211, 63113904000.0, -3.0e9}) {
        const auto value = PlistValue::date(PlistDate{seconds});
        const auto back = viaBinary(value);
        ASSERT_TRUE(back && back->asDate()) << seconds;
        EXPECT_EQ(back->asDate()->secondsSince2001, seconds);
    }
}

TEST(PlistValue, ReadsHandWrittenInfoPlist) {
    const auto info = PlistValue::fromBytes(bytesOf(R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>Device Name</key>
	<string>Anna’s iPhone</string>
	<key>Last Backup Date</key>
	<date>2020-01-02T03:04:05Z</date>
	<key>Build Version</key>
	<string>17C54</string>
	<key>Installed Applications</key>
	<array>
		<string>com.example.one</string>
	</array>
	<key>Offset</key>
	<integer>-42</integer>
	<key>Is Encrypted</key>
	<true/>
	<key>iTunes Files</key>
	<dict>
		<key>IC-Info.sidv</key>
		<data>AAEC/w==</data>
	</dict>
</dict>
</plist>
)"));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->stringFor("Device Name"), "Anna’s iPhone");
    EXPECT_EQ(at(*info, "Last Backup Date").asDate(), PlistDate{599627045});
    EXPECT_EQ(at(*info, "Offset").asInteger(), -42);
    EXPECT_EQ(at(*info, "Is Encrypted").asBoolean(), true);
    EXPECT_EQ(at(*info, "Installed Applications"),
              PlistValue::array({PlistValue::string("com.example.one")}));
    EXPECT_EQ(at(at(*info, "iTunes Files"), "IC-Info.sidv"), dataValue({0, 1, 2, 0xFF}));
    EXPECT_EQ(info->stringFor("Missing"), std::nullopt);
    EXPECT_EQ(info->stringFor("Offset"), std::nullopt);  // present, but not a string
}

TEST(PlistValue, ReadsRealDeviceInfoPlist) {
    // Binary, as iTunes wrote it for an iOS 14.3 device.
    test::TempHome home;
    const auto info =
        PlistValue::fromFile(test::copyOfRealData("mvt_ios14_backup/Info.plist", home.path()));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->stringFor("Product Type"), "iPhone9,3");
    EXPECT_EQ(info->stringFor("Product Version"), "14.3");
    EXPECT_EQ(at(*info, "Last Backup Date").asDate(), PlistDate{660252793});  // 2021-12-03 19:33:13
    const auto* apps = at(*info, "Installed Applications").asArray();
    ASSERT_NE(apps, nullptr);
    EXPECT_EQ(apps->size(), 6u);
    EXPECT_EQ(viaBinary(*info), info);
    EXPECT_EQ(viaXml(*info), info);
}

TEST(PlistValue, AccessorsAnswerOnlyForTheirOwnType) {
    const PlistValue tree = sampleTree();
    const std::vector<std::pair<PlistValue, PlistValue::Type>> cases{
        {PlistValue(), PlistValue::Type::None},
        {PlistValue::string("s"), PlistValue::Type::String},
        {PlistValue::integer(7), PlistValue::Type::Integer},
        {PlistValue::real(0.5), PlistValue::Type::Real},
        {PlistValue::boolean(false), PlistValue::Type::Boolean},
        {PlistValue::date(PlistDate{1}), PlistValue::Type::Date},
        {dataValue({1}), PlistValue::Type::Data},
        {PlistValue::array(), PlistValue::Type::Array},
        {tree, PlistValue::Type::Dictionary},
        {PlistValue::uid(3), PlistValue::Type::Uid},
    };
    using T = PlistValue::Type;
    for (const auto& [value, type] : cases) {
        SCOPED_TRACE(static_cast<int>(type));
        EXPECT_EQ(value.type(), type);
        EXPECT_EQ(value.isNone(), type == T::None);
        EXPECT_EQ(value.asString() != nullptr, type == T::String);
        EXPECT_EQ(value.asInteger().has_value(), type == T::Integer);
        EXPECT_EQ(value.asReal().has_value(), type == T::Real || type == T::Integer);
        EXPECT_EQ(value.asBoolean().has_value(), type == T::Boolean);
        EXPECT_EQ(value.asDate().has_value(), type == T::Date);
        EXPECT_EQ(value.asArray() != nullptr, type == T::Array);
        EXPECT_EQ(value.asDictionary() != nullptr, type == T::Dictionary);
        EXPECT_EQ(value.asUid().has_value(), type == T::Uid);
        EXPECT_EQ(value.find("flag") != nullptr, type == T::Dictionary);
        EXPECT_EQ(value.stringFor("flag"), std::nullopt);
    }
    EXPECT_EQ(PlistValue::integer(-3).asReal(), -3.0);
}

TEST(PlistValue, SetAndAppendChangeOnlyTheirOwnContainer) {
    auto dict = PlistValue::dictionary();
    auto array = PlistValue::array();
    auto text = PlistValue::string("x");
    dict.set("k", PlistValue::integer(1));
    dict.set("k", PlistValue::string("replaced"));
    dict.append(PlistValue::integer(2));
    array.append(PlistValue::integer(2));
    array.set("k", PlistValue::integer(1));
    text.append(PlistValue::integer(2));
    text.set("k", PlistValue::integer(1));
    EXPECT_EQ(dict, PlistValue::dictionary({{"k", PlistValue::string("replaced")}}));
    EXPECT_EQ(array, PlistValue::array({PlistValue::integer(2)}));
    EXPECT_EQ(text, PlistValue::string("x"));
}

TEST(PlistValue, NoneHasNoSerialisedFormAndIsLeftOutOfContainers) {
    EXPECT_TRUE(PlistValue().toBinary().empty());
    EXPECT_TRUE(PlistValue().toXml().empty());
    const auto withGap = PlistValue::array({PlistValue::integer(1), PlistValue()});
    EXPECT_EQ(viaBinary(withGap), PlistValue::array({PlistValue::integer(1)}));
}

TEST(PlistValue, RejectsGarbageAndIncompleteInput) {
    for (std::string_view bad :
         {std::string_view(""), std::string_view("garbage text"), std::string_view("bplist00"),
          std::string_view("<plist>"), std::string_view("<plist><array><string>x</array></plist>"),
          std::string_view("\0\0\0\0", 4)}) {
        EXPECT_EQ(PlistValue::fromBytes(bytesOf(bad)), std::nullopt) << bad;
    }
    const Bytes full = sampleTree().toBinary();
    ASSERT_TRUE(PlistValue::fromBytes(full));
    for (size_t length = 0; length < full.size(); ++length) {
        EXPECT_EQ(PlistValue::fromBytes({full.data(), length}), std::nullopt) << length;
    }
    // libplist accepts XML cut after the root element closes; never a partial value.
    const std::string xml = sampleTree().toXml();
    for (size_t length = 0; length < xml.size(); ++length) {
        const auto parsed = PlistValue::fromBytes(bytesOf(xml.substr(0, length)));
        EXPECT_TRUE(!parsed || *parsed == sampleTree()) << length;
    }
}

TEST(PlistValue, RejectsBrokenBinaryStructure) {
    EXPECT_TRUE(PlistValue::fromBytes(binaryList({{0xA1, 0, 0, 0, 1}, {0x09}})));
    EXPECT_FALSE(PlistValue::fromBytes(binaryList({{0xA1, 0, 0, 0, 0}})));  // holds itself
    EXPECT_FALSE(PlistValue::fromBytes(binaryList({{0xA1, 0, 0, 0, 9}})));  // dangling
    EXPECT_FALSE(PlistValue::fromBytes(  // data claiming 2^63 bytes
        binaryList({{0x4F, 0x13, 0x80, 0, 0, 0, 0, 0, 0, 0, 1, 2}})));
    EXPECT_FALSE(PlistValue::fromBytes(binaryList({{0xAF, 0x13, 0x40, 0, 0, 0, 0, 0, 0, 0}})));
    // A key holding U+0000 makes libplist abort when the key is read.
    const Bytes dictionary{0xD1, 0, 0, 0, 1, 0, 0, 0, 2};
    EXPECT_TRUE(PlistValue::fromBytes(binaryList({dictionary, {0x62, 0, 'a', 0, 'b'}, {0x09}})));
    EXPECT_FALSE(PlistValue::fromBytes(binaryList({dictionary, {0x62, 0, 'a', 0, 0}, {0x09}})));
}

TEST(PlistValue, RejectsSharedArraysThatExpandExponentially) {
    const auto small = PlistValue::fromBytes(nestedArrays(6, 2));
    ASSERT_TRUE(small && small->asArray());
    EXPECT_EQ(small->asArray()->size(), 2u);
    EXPECT_EQ(small->asArray()->at(0), small->asArray()->at(1));
    // 2^40 nodes once expanded, from a few hundred bytes.
    EXPECT_FALSE(PlistValue::fromBytes(nestedArrays(40, 2)));
}

TEST(PlistValue, RejectsNestingDeepEnoughToExhaustTheStack) {
    EXPECT_TRUE(PlistValue::fromBytes(nestedArrays(100)));
    EXPECT_FALSE(PlistValue::fromBytes(nestedArrays(200'000)));
    EXPECT_TRUE(PlistValue::fromBytes(bytesOf(nestedXml(100))));
    EXPECT_FALSE(PlistValue::fromBytes(bytesOf(nestedXml(300'000))));
    // Closing tags hidden where libplist does not read them must not lower the count.
    for (std::string_view level :
         {"<array><string><![CDATA[a > b </array>]]></string>", "<array><!--> </array> -->",
          "<array x=\"a > b </array>\">", "<array><?pi > </array> ?>",
          "<array><!DOCTYPE x [ > </array> ]>"}) {
        EXPECT_TRUE(PlistValue::fromBytes(bytesOf(nestedXml(100, level)))) << level;
        EXPECT_FALSE(PlistValue::fromBytes(bytesOf(nestedXml(300'000, level)))) << level;
    }
}

TEST(PlistValue, FilesAreWrittenWholeAndReadWithinTheirLimit) {
    auto folder = ScratchFolder::create("plist-test");
    ASSERT_TRUE(folder);
    const std::string binaryPath = folder->path() + "/Manifest.plist";
    const std::string xmlPath = folder->path() + "/Info.plist";
    test::writeFile(binaryPath, "old contents");
    const PlistValue tree = sampleTree();
    ASSERT_TRUE(tree.writeBinaryFile(binaryPath));
    ASSERT_TRUE(tree.writeXmlFile(xmlPath));
    EXPECT_EQ(PlistValue::fromFile(binaryPath), tree);
    EXPECT_EQ(PlistValue::fromFile(xmlPath), tree);
    EXPECT_EQ(test::namesIn(folder->path()).size(), 2u);  // no temporary file left behind

    EXPECT_FALSE(tree.writeBinaryFile(folder->path() + "/missing/x.plist"));
    EXPECT_FALSE(PlistValue().writeXmlFile(folder->path() + "/none.plist"));
    EXPECT_FALSE(std::filesystem::exists(folder->path() + "/none.plist"));

    const uint64_t size = std::filesystem::file_size(binaryPath);
    EXPECT_TRUE(PlistValue::fromFile(binaryPath, size));
    EXPECT_FALSE(PlistValue::fromFile(binaryPath, size - 1));
    EXPECT_FALSE(PlistValue::fromFile(folder->path() + "/absent.plist"));
    EXPECT_FALSE(PlistValue::fromFile(folder->path()));
    test::writeFile(xmlPath, "\xEF\xBB\xBF<plist><true/></plist>");  // an editor's byte-order mark
    EXPECT_EQ(PlistValue::fromFile(xmlPath), PlistValue::boolean(true));
}

// A binary list may hold any bytes in an "ASCII" string: they are read as
// UTF-8 with U+FFFD for what is broken, so the value can be written again
// as a list that parses.
TEST(PlistValueBytes, BrokenTextIsMadeUtf8AndWritesBackReadably) {
    std::string list = std::string("bplist00") + "\x54\xFF" + "ok\xC3";  // 4 bytes of "ASCII"
    list += '\x08';                                                      // the offset table
    list += std::string(6, '\0') + '\x01' + '\x01';                      // offset and ref sizes
    list += std::string(7, '\0') + '\x01';                               // one object
    list += std::string(8, '\0');                                        // the top one
    list += std::string(7, '\0') + '\x0D';                               // the table's offset
    const auto bytes = std::span(reinterpret_cast<const uint8_t*>(list.data()), list.size());
    const auto value = PlistValue::fromBytes(bytes);
    ASSERT_TRUE(value);
    ASSERT_TRUE(value->asString());
    EXPECT_EQ(*value->asString(), "\xEF\xBF\xBDok\xEF\xBF\xBD");
    EXPECT_EQ(PlistValue::fromBytes(value->toBinary()), value);
}

}  // namespace
}  // namespace vessamo
