#include "carving/DeletedMessageCarver.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "carving/CarverPatterns.h"
#include "carving/CarvingFile.h"
#include "carving/RecordImages.h"

namespace vessamo {
namespace {

using namespace test;
using Delivery = CarvedRecord::Delivery;

// What one carve delivered, with the store its texts live in.
struct Carving {
    TextStore texts;
    std::vector<CarvedRecord> records;
    bool finished = false;

    [[nodiscard]] std::vector<std::string> contents() const {
        std::vector<std::string> out;
        for (const CarvedRecord& record : records) {
            out.emplace_back(record.message.messageContent);
        }
        return out;
    }
};

Carving carve(const CarvingFile& file, CarverVariant variant, std::stop_token stop = {},
              const std::function<void()>& afterEach = {}) {
    Carving result;
    DeletedMessageCarver carver(variant, result.texts, std::move(stop));
    result.finished = carver.carve(file, [&](CarvedRecord record) {
        result.records.push_back(record);
        if (afterEach) {
            afterEach();
        }
    });
    return result;
}

Carving carveOne(uint8_t lengthByte, const Shape& shape, const Message& m,
                 CarverVariant variant = CarverVariant::Backup) {
    DatabaseImage image(1024, 3);
    image.putRecord(1, 300, recordBytes(lengthByte, shape, m));
    return carve(image.file(), variant);
}

Message changed(const std::function<void(Message&)>& change) {
    Message m;
    change(m);
    return m;
}

// A record in one line: "chat@seconds direction name|text|number delivery".
std::string describe(const CarvedRecord& record) {
    const KTWhatsAppNode& m = record.message;
    const char* direction = m.messageType == Direction::Send      ? "sent"
                            : m.messageType == Direction::Receive ? "received"
                                                                  : "?";
    const char* delivery = record.delivery == Delivery::Post     ? "post"
                           : record.delivery == Delivery::Append ? "append"
                                                                 : "post+append";
    return std::to_string(m.chatID) + "@" +
           (m.messageDate ? std::to_string(m.messageDate->seconds) : "-") + " " + direction + " " +
           m.messageName + "|" + m.messageContent + "|" + m.messageNumb + " " + delivery;
}

struct LayoutCase {
    const char* what;
    uint8_t lengthByte;
    Shape shape;
    Message message;
    CarverVariant variant;
    std::string expected;  // empty: not carved
};

constexpr auto kBackup = CarverVariant::Backup;
constexpr auto kICloud = CarverVariant::ICloud;

TEST(DeletedMessageCarver, DecodesEveryLayoutAndDeliversByVariant) {
    const std::string longText = std::string(60, 'x') + " end";
    const Message sent = changed([](Message& m) {
        m.fromMe = true;
        m.from.clear();
        m.chat = int8Column(17);
    });
    const Message wide = changed([](Message& m) {
        m.lead = {0x01, 0x01, 0x01};
        m.chat = int8Column(5);
    });
    const Message widePattern = changed([](Message& m) {
        m.lead = {0x01, 0x09, 0x08, 0x08, 0x08};
        m.chat = int8Column(4);
    });
    auto withChat = [](Message m, const Column& chat) {
        m.chat = chat;
        return m;
    };
    const std::vector<LayoutCase> table = {
        {"18 columns",
         0x13,
         kEighteen,
         {},
         kBackup,
         "3@600000000 received Anna|hello there|4915112345678 post"},
        {"18 columns, iCloud",
         0x13,
         kEighteen,
         {},
         kICloud,
         "3@600000000 received Anna|hello there|4915112345678 post+append"},
        {"18 columns, sent: the from-me flag says so", 0x13, kEighteen, sent, kBackup,
         "17@600000000 sent |hello there| post"},
        {"20 columns, sent", 0x15, kTwenty, sent, kBackup, "17@600000000 sent |hello there| post"},
        {"20 columns, iCloud", 0x16, kTwenty, sent, kICloud,
         "17@600000000 sent |hello there| append"},
        {"wide: the push-name column is no name", 0x23, kWide, wide, kBackup,
         "5@600000000 received |hello there|4915112345678 append"},
        {"wide rows in iCloud archives too", 0x23, kWide, wide, kICloud,
         "5@600000000 received |hello there|4915112345678 append"},
        {"wide by pattern", 0x7F, kWide, widePattern, kBackup,
         "4@600000000 received |hello there|4915112345678 append"},
        {"a chat key of 0 is no chat", 0x7F, kWide, withChat(widePattern, int8Column(0)), kBackup,
         ""},
        {"nor is a null one", 0x23, kWide, withChat(wide, nullColumn()), kBackup, ""},
        {"the constant 1 is chat 1", 0x13, kEighteen,
         changed([](Message& m) { m.chat = constant(0x09); }), kBackup,
         "1@600000000 received Anna|hello there|4915112345678 post"},
        {"group: the member column names the author", 0x13, kEighteen, changed([](Message& m) {
             m.from = "120363044520422953@g.us";
             m.groupMember = int8Column(7);
         }),
         kBackup, "3@600000000 received Anna|hello there| post"},
        {"private ids are addresses", 0x13, kEighteen,
         changed([](Message& m) { m.from = "85431907651234@lid"; }), kBackup,
         "3@600000000 received Anna|hello there|85431907651234@lid post"},
        {"no WhatsApp address", 0x13, kEighteen, changed([](Message& m) { m.from = "23946"; }),
         kBackup, ""},
        {"a real date is cut to whole seconds", 0x13, kEighteen,
         changed([](Message& m) { m.date = realColumn(600000059.9); }), kBackup,
         "3@600000059 received Anna|hello there|4915112345678 post"},
        {"dated before WhatsApp", 0x13, kEighteen,
         changed([](Message& m) { m.date = int32Column(200000000); }), kBackup, ""},
        {"dated in 2054", 0x13, kEighteen,
         changed([](Message& m) { m.date = int32Column(1685000000); }), kBackup, ""},
        {"neither text nor media", 0x13, kEighteen,
         changed([](Message& m) { m.text = std::nullopt; }), kBackup, ""},
        {"malformed text", 0x13, kEighteen, changed([](Message& m) { m.text = "bad \xC3\x28"; }),
         kBackup, ""},
        {"18 columns, two-byte text type", 0x14, kEighteen,
         changed([&](Message& m) { m.text = longText; }), kBackup,
         "3@600000000 received Anna|" + longText + "|4915112345678 post"},
        {"20 columns, two-byte text type", 0x16, kTwenty,
         changed([&](Message& m) { m.text = longText; }), kBackup,
         "3@600000000 received Anna|" + longText + "|4915112345678 post"},
    };
    for (const LayoutCase& c : table) {
        const Carving carved = carveOne(c.lengthByte, c.shape, c.message, c.variant);
        EXPECT_TRUE(carved.finished) << c.what;
        ASSERT_EQ(carved.records.size(), c.expected.empty() ? 0u : 1u) << c.what;
        for (const CarvedRecord& record : carved.records) {
            EXPECT_EQ(describe(record), c.expected) << c.what;
            EXPECT_TRUE(record.message.bDeleted) << c.what;
            EXPECT_EQ(record.message.whatsAppcontactPath, std::nullopt) << c.what;
        }
    }
}

// A one-byte serial type stays one byte: texts of 54 to 57 bytes (types
// 121..127) sit next to the two-byte types of longer ones, and every
// column after the text must still be read from its own place.
TEST(DeletedMessageCarver, OneAndTwoByteTextTypesKeepTheColumnsAfterThem) {
    for (size_t length = 52; length <= 60; ++length) {
        for (const Shape* shape : {&kEighteen, &kWide}) {
            Message m;
            m.text = std::string(length, 't');
            m.fromMe = true;
            m.to = "4915177777777@s.whatsapp.net";
            const bool twoByte = 13 + 2 * length >= 0x80;
            const uint8_t lengthByte = static_cast<uint8_t>(shape->columns + 1 + (twoByte ? 1 : 0));
            const Carving carved = carveOne(lengthByte, *shape, m);
            ASSERT_EQ(carved.records.size(), 1u) << length;
            EXPECT_EQ(carved.contents(), std::vector<std::string>{*m.text}) << length;
            EXPECT_EQ(carved.records[0].toJid, m.to) << length;
        }
    }
}

// ---- Which pages and bytes are looked at ---------------------------------

TEST(DeletedMessageCarver, OnlyPagesWhoseFirstCellsLookLikeMessagesAreScanned) {
    DatabaseImage unnamed(1024, 3);
    unnamed.putRecord(1, 500, recordBytes(0x13, kEighteen, Message{}), std::nullopt);
    unnamed.setCellPointer(1, 0, 100);  // found by no cell pointer
    EXPECT_TRUE(carve(unnamed.file(), kBackup).records.empty());

    DatabaseImage third = unnamed;
    third.setCellPointer(1, 2, 498);
    for (uint8_t flag : {0x0d, 0x05, 0x00, 0x0a, 0x02, 0x0e}) {
        third.setFlag(1, flag);
        const bool tableOrEmpty = flag == 0x0d || flag == 0x05 || flag == 0x00;
        EXPECT_EQ(carve(third.file(), kBackup).records.size(), tableOrEmpty ? 1u : 0u) << int{flag};
    }
}

TEST(DeletedMessageCarver, PageCheckWorksOnHalfBytesButRecordsOnWholeBytes) {
    DatabaseImage image(1024, 3);
    // "10 10 90 8a" reads as hex 101090 8.., which holds 010908 one digit in.
    image.put(image.start(1) + 204, {0x13, 0x10, 0x10, 0x90, 0x8A, 0x13, 0x00});
    image.setCellPointer(1, 0, 200);
    EXPECT_TRUE(carve(image.file(), kBackup).records.empty());

    image.putRecord(1, 600, recordBytes(0x13, kEighteen, Message{}), std::nullopt);
    EXPECT_EQ(carve(image.file(), kBackup).contents(), std::vector<std::string>{"hello there"});
}

// The page check as it has always been defined: the cell's first bytes as
// lowercase hex, searched for a pattern at every digit but the last start.
bool hexWindowHoldsPattern(std::span<const uint8_t, kCellProbeBytes> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t byte : bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    for (size_t start = 0; start + 6 < hex.size(); ++start) {
        for (std::string_view pattern :
             {"010908", "010108", "010901", "010101", "010109", "010909"}) {
            if (hex.compare(start, 6, pattern) == 0) {
                return true;
            }
        }
    }
    return false;
}

TEST(DeletedMessageCarver, CellProbeIsTheHexWindowTest) {
    using Probe = std::array<uint8_t, kCellProbeBytes>;
    const std::vector<std::pair<Probe, bool>> edges = {
        {{0x01, 0x09, 0x08, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa}, true},
        {{0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xa0, 0x10, 0x10, 0x90}, true},   // digit 13
        {{0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0x01, 0x01, 0x01}, false},  // digit 14
        {{0x01, 0x02, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, false},
    };
    for (const auto& [probe, holds] : edges) {
        EXPECT_EQ(cellProbeHoldsPattern(probe), holds);
    }
    std::mt19937 random(7);
    const std::vector<uint8_t> alphabet = {0x00, 0x01, 0x08, 0x09, 0x10, 0x19, 0x80, 0x90, 0xF1};
    int matches = 0;
    for (int round = 0; round < 20000; ++round) {
        Probe probe{};
        for (uint8_t& byte : probe) {
            byte = alphabet[random() % alphabet.size()];
        }
        const bool expected = hexWindowHoldsPattern(probe);
        matches += expected ? 1 : 0;
        ASSERT_EQ(cellProbeHoldsPattern(probe), expected) << round;
    }
    EXPECT_GT(matches, 100);  // both answers were exercised
}

TEST(DeletedMessageCarver, TextTypeTestCoversTwoByteLeads) {
    const CarvingFile file(std::vector<uint8_t>{0, 120, 121, 152, 153, 0x81});
    const std::vector<std::pair<uint64_t, bool>> table = {
        {1, false}, {2, false}, {3, true}, {4, true}, {5, true}, {6, false}};  // 6: past the end
    for (const auto& [offset, twoByte] : table) {
        EXPECT_EQ(IsTextPropertFiled(&file, offset), twoByte) << offset;
    }
    EXPECT_FALSE(IsTextPropertFiled(nullptr, 5));
}

TEST(DeletedMessageCarver, RecordsAreFoundInFileOrderAcrossPagesAndBlocks) {
    // 4096 pages of 512 bytes span more than one read block.
    DatabaseImage image(512, 4096);
    std::vector<std::string> expected;
    for (size_t page : {1, 2, 2047, 2048, 2050, 4095}) {
        Message m;
        m.text = "page " + std::to_string(page);
        image.putRecord(page, 40, recordBytes(0x13, kEighteen, m));
        expected.push_back(*m.text);
        m.text = "page " + std::to_string(page) + " second";
        image.putRecord(page, 300, recordBytes(0x13, kEighteen, m), std::nullopt);
        expected.push_back(*m.text);
    }
    // A record whose length byte ends the page before, the first of a
    // block: its row-id type doubles as the page flag of a zeroed page, and
    // its chat column's type and the next one make the first cell pointer
    // 0x0100, where a pattern makes the page a candidate.
    Message straddling;
    straddling.text = "straddling";
    image.put(image.start(2049) - 1, recordBytes(0x13, kEighteen, straddling));
    image.put(image.start(2049) + 0x100 + 4, {0x01, 0x01, 0x01});
    expected.insert(expected.begin() + 8, "straddling");
    EXPECT_EQ(carve(image.file(), kBackup).contents(), expected);
}

// ---- Stopping and odd files ----------------------------------------------

TEST(DeletedMessageCarver, BackupStopsAtTheNextPositionIcloudNever) {
    DatabaseImage image(1024, 4);
    image.putRecord(1, 300, recordBytes(0x13, kEighteen, Message{}));
    image.putRecord(2, 300, recordBytes(0x13, kEighteen, Message{}));
    std::stop_source stopped;
    stopped.request_stop();

    const Carving none = carve(image.file(), kBackup, stopped.get_token());
    EXPECT_FALSE(none.finished);
    EXPECT_TRUE(none.records.empty());

    std::stop_source later;
    const Carving one =
        carve(image.file(), kBackup, later.get_token(), [&] { later.request_stop(); });
    EXPECT_FALSE(one.finished);
    EXPECT_EQ(one.records.size(), 1u);

    const Carving icloud = carve(image.file(), kICloud, stopped.get_token());
    EXPECT_TRUE(icloud.finished);
    EXPECT_EQ(icloud.records.size(), 2u);

    DatabaseImage plain(1024, 4);  // nothing to scan: the stop is never looked at
    EXPECT_TRUE(carve(plain.file(), kBackup, stopped.get_token()).finished);
}

TEST(DeletedMessageCarver, PageSizeComesFromTheHeader) {
    const std::vector<uint8_t> record = recordBytes(0x13, kEighteen, Message{});
    DatabaseImage big(65536, 2, 1);  // stored 1 stands for 65536
    big.putRecord(1, 40000, record);
    EXPECT_EQ(carve(big.file(), kBackup).records.size(), 1u);

    DatabaseImage small(512, 3);
    small.putRecord(2, 100, record);
    EXPECT_EQ(carve(small.file(), kBackup).records.size(), 1u);

    for (uint16_t stored : {0, 1000, 513}) {
        DatabaseImage odd(1024, 3, stored);
        odd.putRecord(1, 300, record);
        EXPECT_TRUE(carve(odd.file(), kBackup).records.empty()) << stored;
    }
    DatabaseImage single(1024, 1);
    single.put(300, record);
    EXPECT_TRUE(carve(single.file(), kBackup).records.empty());
    // A trailing partial page is not a page.
    DatabaseImage partial(1024, 2);
    partial.put(1024 + 300, record);
    partial.setCellPointer(1, 0, 298);
    partial.truncate(1024 + 1000);
    EXPECT_TRUE(carve(partial.file(), kBackup).records.empty());
}

TEST(DeletedMessageCarver, HostileBytesDoNotCrash) {
    DatabaseImage image(512, 8);
    image.setCellPointer(1, 0, 0xFFFF);  // past the page and the file
    image.setCellPointer(1, 1, 0xFFFE);
    image.putRecord(1, 100, recordBytes(0x13, kEighteen, Message{}), 2);
    Message huge;
    huge.text = std::string(1500, 'h');  // longer than a page: cut, not overrun
    image.putRecord(2, 20, recordBytes(0x14, kEighteen, huge));
    image.putRecord(6, 480, recordBytes(0x13, kEighteen, Message{}));  // runs off the end
    image.truncate(image.start(7));
    // Neither the text longer than its page nor the record that runs off
    // the file is a message that can be read whole.
    EXPECT_EQ(carve(image.file(), kBackup).contents(), std::vector<std::string>{"hello there"});

    std::mt19937 random(11);
    for (int round = 0; round < 20; ++round) {
        std::vector<uint8_t> bytes = DatabaseImage(512, 64).bytes();
        for (size_t i = 512; i < bytes.size(); ++i) {
            bytes[i] = static_cast<uint8_t>(random() % 4 == 0 ? random() % 0x22 : random());
        }
        for (CarverVariant variant : {kBackup, kICloud}) {
            for (const CarvedRecord& record : carve(CarvingFile(bytes), variant).records) {
                EXPECT_TRUE(record.message.bDeleted);
                EXPECT_TRUE(!record.message.messageContent.empty() || record.message.isHaveAttch);
                EXPECT_GE(record.message.chatID, 1);
            }
        }
    }
}

}  // namespace
}  // namespace vessamo
