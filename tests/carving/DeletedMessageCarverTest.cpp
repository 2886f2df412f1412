#include <gtest/gtest.h>
#include <sqlite3.h>

#include <any>
#include <atomic>
#include <bit>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "backup/ScanState.h"
#include "carving/CarverPatterns.h"
#include "carving/CarvingFile.h"
#include "carving/CarvingPrimitives.h"
#include "carving/DeletedMessageCarver.h"
#include "carving/DisplayConversions.h"
#include "common/NotificationCenter.h"
#include "common/SystemLog.h"
#include "support/TestSupport.h"
#include "whatsapp/DeletedMessagesStage.h"

namespace vessamo {
namespace {

// ---- Record images -------------------------------------------------------

struct Column {
    std::vector<uint8_t> type;
    std::vector<uint8_t> data;
};

Column nullColumn() {
    return {{0x00}, {}};
}
Column constant(uint8_t type) {  // 0x08 is the constant 0, 0x09 the constant 1
    return {{type}, {}};
}
Column int8Column(uint8_t value) {
    return {{0x01}, {value}};
}
Column int32Column(uint32_t value) {
    return {{0x04},
            {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
             static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)}};
}
Column realColumn(double value) {
    const auto bits = std::bit_cast<uint64_t>(value);
    Column column{{0x07}, {}};
    for (int shift = 56; shift >= 0; shift -= 8) {
        column.data.push_back(static_cast<uint8_t>(bits >> shift));
    }
    return column;
}
Column textColumn(const std::string& text) {
    const uint64_t type = 13 + 2 * text.size();
    Column column{{}, {text.begin(), text.end()}};
    if (type < 0x80) {
        column.type = {static_cast<uint8_t>(type)};
    } else {
        column.type = {static_cast<uint8_t>(0x80 | (type >> 7)), static_cast<uint8_t>(type & 0x7f)};
    }
    return column;
}
Column leadColumn(uint8_t type) {
    return type == 0x01 ? int8Column(9) : constant(type);
}

// Where a table shape keeps its interesting columns, and how far from the
// byte before p the carver expects the content.
struct Shape {
    size_t columns, chat, date, from, name, text, to;
    size_t contentAt;
};
constexpr Shape kEighteen{18, 8, 12, 13, 14, 16, 17, 18};
constexpr Shape kTwenty{20, 10, 14, 15, 16, 18, 19, 20};
constexpr Shape kWide{33, 19, 25, 0, 30, 32, 0, 34};

struct Message {
    std::vector<uint8_t> lead = {0x01, 0x09, 0x08};  // serial types of columns 1..
    Column chat = int8Column(3);
    Column date = int32Column(600000000);
    std::string from = "4915112345678@s.whatsapp.net";
    std::string name = "Anna";  // empty: a message we sent
    std::optional<std::string> text = "hello there";
    std::string to = "4915199999999@s.whatsapp.net";
};

// The record starting at its length byte: p is two bytes in.
std::vector<uint8_t> recordBytes(uint8_t lengthByte, const Shape& shape, const Message& m) {
    std::vector<Column> columns(shape.columns, nullColumn());
    for (size_t i = 0; i < m.lead.size(); ++i) {
        columns[1 + i] = leadColumn(m.lead[i]);
    }
    columns[shape.chat] = m.chat;
    columns[shape.date] = m.date;
    columns[shape.name] = m.name.empty() ? nullColumn() : textColumn(m.name);
    columns[shape.text] = m.text ? textColumn(*m.text) : nullColumn();
    if (shape.from != 0) {
        columns[shape.from] = textColumn(m.from);
        columns[shape.to] = textColumn(m.to);
    }
    std::vector<uint8_t> types;
    std::vector<uint8_t> content;
    for (const Column& column : columns) {
        types.insert(types.end(), column.type.begin(), column.type.end());
        content.insert(content.end(), column.data.begin(), column.data.end());
    }
    const bool twoByteText = columns[shape.text].type.size() == 2;
    std::vector<uint8_t> bytes = {lengthByte};
    bytes.insert(bytes.end(), types.begin(), types.end());
    bytes.resize(1 + shape.contentAt + (twoByteText ? 1 : 0), 0);
    bytes.insert(bytes.end(), content.begin(), content.end());
    return bytes;
}

// A database image with the page size in its header and pages to fill.
class DatabaseImage {
public:
    DatabaseImage(uint32_t pageSize, size_t pages, std::optional<uint16_t> storedSize = {})
        : pageSize_(pageSize), bytes_(static_cast<size_t>(pageSize) * pages, 0xEE) {
        const std::string magic = "SQLite format 3";
        std::copy(magic.begin(), magic.end(), bytes_.begin());
        const uint16_t stored = storedSize.value_or(static_cast<uint16_t>(pageSize));
        bytes_[15] = 0;
        bytes_[16] = static_cast<uint8_t>(stored >> 8);
        bytes_[17] = static_cast<uint8_t>(stored);
        for (size_t page = 1; page < pages; ++page) {
            std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(start(page)), 16, 0);
            bytes_[start(page)] = 0x0d;
        }
    }

    [[nodiscard]] size_t start(size_t page) const { return page * pageSize_; }
    void setFlag(size_t page, uint8_t flag) { bytes_[start(page)] = flag; }
    void setCellPointer(size_t page, size_t cell, uint16_t pointer) {
        bytes_[start(page) + 8 + 2 * cell] = static_cast<uint8_t>(pointer >> 8);
        bytes_[start(page) + 9 + 2 * cell] = static_cast<uint8_t>(pointer);
    }
    void put(size_t offset, const std::vector<uint8_t>& bytes) {
        if (bytes_.size() < offset + bytes.size()) {
            bytes_.resize(offset + bytes.size(), 0);
        }
        std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    // A record at offset within page, named by cell pointer `cell` as a real
    // cell (payload length and row id before the record header) would be.
    void putRecord(size_t page, uint16_t offset, const std::vector<uint8_t>& record,
                   std::optional<size_t> cell = 0) {
        put(start(page) + offset, record);
        if (cell) {
            setCellPointer(page, *cell, static_cast<uint16_t>(offset - 2));
        }
    }
    void truncate(size_t size) { bytes_.resize(size); }
    [[nodiscard]] CarvingFile file() const { return CarvingFile(bytes_); }
    [[nodiscard]] const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    uint32_t pageSize_;
    std::vector<uint8_t> bytes_;
};

struct CarveResult {
    std::vector<CarvedRecord> records;
    bool finished = false;
    [[nodiscard]] std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const CarvedRecord& record : records) {
            out.push_back(record.message->messageContent);
        }
        return out;
    }
};

CarveResult carve(const CarvingFile& file, CarverVariant variant,
                  const std::atomic<bool>* stop = nullptr) {
    CarveResult result;
    DeletedMessageCarver carver(variant, stop);
    result.finished =
        carver.carve(file, [&](CarvedRecord record) { result.records.push_back(record); });
    return result;
}

CarveResult carveOne(uint8_t lengthByte, const Shape& shape, const Message& m,
                     CarverVariant variant = CarverVariant::Backup) {
    DatabaseImage image(1024, 3);
    image.putRecord(1, 300, recordBytes(lengthByte, shape, m));
    return carve(image.file(), variant);
}

// ---- Layouts and fields --------------------------------------------------

TEST(DeletedMessageCarver, EighteenColumnRowReadsAReceivedMessage) {
    test::ScopedTimeZone utc("UTC");
    const CarveResult backup = carveOne(0x13, kEighteen, Message{});
    ASSERT_EQ(backup.records.size(), 1u);
    EXPECT_TRUE(backup.finished);
    const KTWhatsAppNode& message = *backup.records[0].message;
    EXPECT_EQ(message.chatID, 3);
    EXPECT_EQ(message.messageDate, "01-06-2020 10:40");
    EXPECT_EQ(message.messageType, "Receive");
    EXPECT_EQ(message.messageName, "Anna");
    EXPECT_EQ(message.messageContent, "hello there");
    EXPECT_EQ(message.messageNumb, "4915112345678");  // the sender, suffix gone
    EXPECT_TRUE(message.bDeleted);
    EXPECT_EQ(backup.records[0].delivery, CarvedRecord::Delivery::Post);

    const CarveResult icloud = carveOne(0x13, kEighteen, Message{}, CarverVariant::ICloud);
    ASSERT_EQ(icloud.records.size(), 1u);
    EXPECT_EQ(icloud.records[0].delivery, CarvedRecord::Delivery::PostAndAppend);
    EXPECT_EQ(icloud.records[0].message->messageContent, "hello there");
}

TEST(DeletedMessageCarver, TwentyColumnRowReadsASentMessage) {
    Message m;
    m.lead = {0x01, 0x01, 0x08};
    m.name = "";
    m.chat = int8Column(17);
    const CarveResult backup = carveOne(0x15, kTwenty, m);
    ASSERT_EQ(backup.records.size(), 1u);
    const KTWhatsAppNode& message = *backup.records[0].message;
    EXPECT_EQ(message.chatID, 17);
    EXPECT_EQ(message.messageType, "Send");
    EXPECT_EQ(message.messageName, "");
    EXPECT_EQ(message.messageNumb, "4915199999999");  // the recipient
    EXPECT_EQ(backup.records[0].delivery, CarvedRecord::Delivery::Post);

    const CarveResult icloud = carveOne(0x16, kTwenty, m, CarverVariant::ICloud);
    ASSERT_EQ(icloud.records.size(), 1u);
    EXPECT_EQ(icloud.records[0].delivery, CarvedRecord::Delivery::Append);
}

TEST(DeletedMessageCarver, WideRowsAreABackupOnlyShape) {
    test::ScopedTimeZone utc("UTC");
    Message m;
    m.lead = {0x01, 0x01, 0x01};
    m.chat = int8Column(5);
    const CarveResult backup = carveOne(0x21, kWide, m);
    ASSERT_EQ(backup.records.size(), 1u);
    const KTWhatsAppNode& message = *backup.records[0].message;
    EXPECT_EQ(backup.records[0].delivery, CarvedRecord::Delivery::Append);
    EXPECT_EQ(message.chatID, 5);
    EXPECT_EQ(message.messageDate, "01-06-2020 10:40");
    EXPECT_EQ(message.messageName, "Anna");
    EXPECT_EQ(message.messageContent, "hello there");
    EXPECT_EQ(message.messageNumb, "");  // the wide row has no sender column to name it

    EXPECT_TRUE(carveOne(0x21, kWide, m, CarverVariant::ICloud).records.empty());
}

TEST(DeletedMessageCarver, WidePatternNeedsAChatWhileTheLengthByteDoesNot) {
    Message wide;
    wide.lead = {0x01, 0x09, 0x08, 0x08, 0x08};
    wide.chat = int8Column(4);
    EXPECT_EQ(carveOne(0x7F, kWide, wide).texts(), std::vector<std::string>{"hello there"});
    wide.chat = int8Column(0);
    EXPECT_TRUE(carveOne(0x7F, kWide, wide).records.empty());
    wide.chat = nullColumn();
    EXPECT_TRUE(carveOne(0x7F, kWide, wide).records.empty());

    Message byLength;
    byLength.lead = {0x01, 0x01, 0x01};
    byLength.chat = int8Column(0);
    const CarveResult kept = carveOne(0x20, kWide, byLength);
    ASSERT_EQ(kept.records.size(), 1u);
    EXPECT_EQ(kept.records[0].message->chatID, 0);
}

TEST(DeletedMessageCarver, AddressesBecomeNumbers) {
    Message group;
    group.from = "4915100000001-1500000000@g.us";
    EXPECT_EQ(carveOne(0x13, kEighteen, group).records.at(0).message->messageNumb, "1500000000");
    group.name = "";
    group.to = "4915100000001-1500000000@G.US";
    EXPECT_EQ(carveOne(0x13, kEighteen, group).records.at(0).message->messageNumb, "4915100000001");

    Message shouted;
    shouted.from = "4915112345678@S.WHATSAPP.NET";  // recognised, but only exact text goes
    EXPECT_EQ(carveOne(0x13, kEighteen, shouted).records.at(0).message->messageNumb,
              "4915112345678@S.WHATSAPP.NET");
}

TEST(DeletedMessageCarver, NullTextAndRealDatesStillMakeAMessage) {
    test::ScopedTimeZone utc("UTC");
    Message m;
    m.text = std::nullopt;
    m.date = realColumn(600000059.9);  // whole seconds: rounding would reach 10:41
    const CarveResult result = carveOne(0x13, kEighteen, m);
    ASSERT_EQ(result.records.size(), 1u);
    EXPECT_EQ(result.records[0].message->messageContent, " ");
    EXPECT_EQ(result.records[0].message->messageDate, "01-06-2020 10:40");
}

TEST(DeletedMessageCarver, LongTextsUseTheTwoByteSerialType) {
    Message m;
    m.text = std::string(60, 'x') + " end";
    for (const auto& [length, shape] : {std::pair{0x14, kEighteen}, std::pair{0x16, kTwenty}}) {
        const CarveResult result = carveOne(static_cast<uint8_t>(length), shape, m);
        ASSERT_EQ(result.records.size(), 1u);
        EXPECT_EQ(result.records[0].message->messageContent, *m.text);
        EXPECT_EQ(result.records[0].message->messageNumb, "4915112345678");
    }
}

// ---- Which pages and bytes are looked at ---------------------------------

TEST(DeletedMessageCarver, OnlyPagesWhoseFirstCellsLookLikeMessagesAreScanned) {
    const std::vector<uint8_t> record = recordBytes(0x13, kEighteen, Message{});
    DatabaseImage unnamed(1024, 3);
    unnamed.putRecord(1, 500, record, std::nullopt);  // found by no cell pointer
    unnamed.setCellPointer(1, 0, 100);
    EXPECT_TRUE(carve(unnamed.file(), CarverVariant::Backup).records.empty());

    DatabaseImage third = unnamed;
    third.setCellPointer(1, 2, 498);
    EXPECT_EQ(carve(third.file(), CarverVariant::Backup).records.size(), 1u);

    for (uint8_t flag : {0x05, 0x00}) {
        DatabaseImage other = third;
        other.setFlag(1, flag);
        EXPECT_EQ(carve(other.file(), CarverVariant::Backup).records.size(), 1u) << int{flag};
    }
    for (uint8_t flag : {0x0a, 0x02, 0x0e}) {
        DatabaseImage index = third;
        index.setFlag(1, flag);
        EXPECT_TRUE(carve(index.file(), CarverVariant::Backup).records.empty()) << int{flag};
    }
}

TEST(DeletedMessageCarver, PageCheckWorksOnHalfBytesButRecordsOnWholeBytes) {
    DatabaseImage image(1024, 3);
    // "10 10 90 8x" reads as hex 101090 8.., which holds 010908 one digit in.
    image.put(image.start(1) + 204, {0x13, 0x10, 0x10, 0x90, 0x8A, 0x13, 0x00});
    image.setCellPointer(1, 0, 200);
    EXPECT_TRUE(carve(image.file(), CarverVariant::Backup).records.empty());

    image.putRecord(1, 600, recordBytes(0x13, kEighteen, Message{}), std::nullopt);
    EXPECT_EQ(carve(image.file(), CarverVariant::Backup).texts(),
              std::vector<std::string>{"hello there"});
}

TEST(DeletedMessageCarver, HexWindowLeavesOutItsLastStart) {
    EXPECT_TRUE(bcheckWhatsappMessageSubStringIsValid("010908aaaaaaaaaaaaaa"));
    EXPECT_TRUE(bcheckWhatsappMessageSubStringIsValid("aaaaaaaaaaaaa0101090"));   // start 13
    EXPECT_FALSE(bcheckWhatsappMessageSubStringIsValid("aaaaaaaaaaaaaa010101"));  // start 14
    EXPECT_FALSE(bcheckWhatsappMessageSubStringIsValid("010109"));
    EXPECT_TRUE(bcheckWhatsappMessageSubStringIsValid("0101090"));
    EXPECT_FALSE(bcheckWhatsappMessageSubStringIsValid("0109080aaa", 7));
    EXPECT_FALSE(bcheckWhatsappMessageSubStringIsValid("01020800000000000000"));
}

TEST(DeletedMessageCarver, CellProbeAgreesWithTheHexWindowTest) {
    std::mt19937 random(7);
    const std::vector<uint8_t> alphabet = {0x00, 0x01, 0x08, 0x09, 0x10, 0x19, 0x80, 0x90, 0xF1};
    std::vector<uint8_t> bytes(1 + kCellProbeBytes);
    int matches = 0;
    for (int round = 0; round < 20000; ++round) {
        for (size_t i = 1; i < bytes.size(); ++i) {
            bytes[i] = alphabet[random() % alphabet.size()];
        }
        const CarvingFile file(bytes);
        std::string hex;
        ASSERT_TRUE(getHexString(&file, 1, kCellProbeBytes, hex));
        const bool expected = bcheckWhatsappMessageSubStringIsValid(hex);
        matches += expected ? 1 : 0;
        ASSERT_EQ(cellProbeHoldsPattern(
                      std::span<const uint8_t, kCellProbeBytes>(bytes.data() + 1, kCellProbeBytes)),
                  expected)
            << hex;
    }
    EXPECT_GT(matches, 100);  // both answers were exercised
}

TEST(DeletedMessageCarver, TextTypeTestCoversTwoByteLeads) {
    const CarvingFile file(std::vector<uint8_t>{0, 120, 121, 152, 153, 0x81});
    EXPECT_FALSE(IsTextPropertFiled(&file, 1));
    EXPECT_TRUE(IsTextPropertFiled(&file, 2));
    EXPECT_TRUE(IsTextPropertFiled(&file, 3));
    EXPECT_FALSE(IsTextPropertFiled(&file, 4));
    EXPECT_TRUE(IsTextPropertFiled(&file, 5));
    EXPECT_FALSE(IsTextPropertFiled(&file, 6));  // past the end reads 0
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
    EXPECT_EQ(carve(image.file(), CarverVariant::Backup).texts(), expected);
}

// ---- Stopping and odd files ----------------------------------------------

TEST(DeletedMessageCarver, BackupStopsAtTheNextPositionIcloudNever) {
    DatabaseImage image(1024, 4);
    image.putRecord(1, 300, recordBytes(0x13, kEighteen, Message{}));
    image.putRecord(2, 300, recordBytes(0x13, kEighteen, Message{}));

    std::atomic<bool> stop{true};
    const CarveResult stopped = carve(image.file(), CarverVariant::Backup, &stop);
    EXPECT_FALSE(stopped.finished);
    EXPECT_TRUE(stopped.records.empty());

    std::atomic<bool> later{false};
    CarveResult partial;
    DeletedMessageCarver carver(CarverVariant::Backup, &later);
    partial.finished = carver.carve(image.file(), [&](CarvedRecord record) {
        partial.records.push_back(record);
        later = true;
    });
    EXPECT_FALSE(partial.finished);
    EXPECT_EQ(partial.records.size(), 1u);

    const CarveResult icloud = carve(image.file(), CarverVariant::ICloud, &stop);
    EXPECT_TRUE(icloud.finished);
    EXPECT_EQ(icloud.records.size(), 2u);

    DatabaseImage plain(1024, 4);  // nothing to scan: the flag is never read
    EXPECT_TRUE(carve(plain.file(), CarverVariant::Backup, &stop).finished);
}

TEST(DeletedMessageCarver, PageSizeComesFromTheHeader) {
    const std::vector<uint8_t> record = recordBytes(0x13, kEighteen, Message{});
    DatabaseImage big(65536, 2, 1);  // stored 1 stands for 65536
    big.putRecord(1, 40000, record);
    EXPECT_EQ(carve(big.file(), CarverVariant::Backup).records.size(), 1u);

    DatabaseImage small(512, 3);
    small.putRecord(2, 100, record);
    EXPECT_EQ(carve(small.file(), CarverVariant::Backup).records.size(), 1u);

    for (uint16_t stored : {0, 1000, 513}) {
        DatabaseImage odd(1024, 3, stored);
        odd.putRecord(1, 300, record);
        EXPECT_TRUE(carve(odd.file(), CarverVariant::Backup).records.empty()) << stored;
    }
    DatabaseImage single(1024, 1);
    single.put(300, record);
    EXPECT_TRUE(carve(single.file(), CarverVariant::Backup).records.empty());
    // A trailing partial page is not a page.
    DatabaseImage partial(1024, 2);
    partial.put(1024 + 300, record);
    partial.setCellPointer(1, 0, 298);
    partial.truncate(1024 + 1000);
    EXPECT_TRUE(carve(partial.file(), CarverVariant::Backup).records.empty());
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
    const CarveResult result = carve(image.file(), CarverVariant::Backup);
    ASSERT_EQ(result.records.size(), 3u);
    EXPECT_EQ(result.records[0].message->messageContent, "hello there");
    EXPECT_EQ(result.records[1].message->messageContent, std::string(512, 'h'));
    EXPECT_EQ(result.records[2].message->messageContent, " ");  // its text lay past the end

    std::mt19937 random(11);
    for (int round = 0; round < 20; ++round) {
        DatabaseImage noise(512, 64);
        std::vector<uint8_t> bytes = noise.bytes();
        for (size_t i = 512; i < bytes.size(); ++i) {
            bytes[i] = static_cast<uint8_t>(random() % 4 == 0 ? random() % 0x22 : random());
        }
        for (CarverVariant variant : {CarverVariant::Backup, CarverVariant::ICloud}) {
            for (const CarvedRecord& record : carve(CarvingFile(bytes), variant).records) {
                EXPECT_TRUE(record.message->bDeleted);
                EXPECT_FALSE(record.message->messageContent.empty());
            }
        }
    }
}

// ---- A real database -----------------------------------------------------

class ChatDatabaseFile {
public:
    explicit ChatDatabaseFile(std::string path) : path_(std::move(path)) {
        EXPECT_EQ(sqlite3_open(path_.c_str(), &db_), SQLITE_OK);
        exec(
            "PRAGMA page_size=4096; PRAGMA secure_delete=OFF; PRAGMA auto_vacuum=NONE;"
            "PRAGMA journal_mode=DELETE;"
            "CREATE TABLE ZWAMESSAGE (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,"
            " ZISFROMME INTEGER, ZMESSAGESTATUS INTEGER, ZMESSAGETYPE INTEGER, ZSORT INTEGER,"
            " ZSTARRED INTEGER, ZCHATSESSION INTEGER, ZGROUPMEMBER INTEGER, ZMEDIAITEM INTEGER,"
            " ZMESSAGEINFO INTEGER, ZMESSAGEDATE TIMESTAMP, ZFROMJID VARCHAR, ZPUSHNAME VARCHAR,"
            " ZSTANZAID VARCHAR, ZTEXT VARCHAR, ZTOJID VARCHAR);");
    }
    ~ChatDatabaseFile() { sqlite3_close(db_); }
    ChatDatabaseFile(const ChatDatabaseFile&) = delete;
    ChatDatabaseFile& operator=(const ChatDatabaseFile&) = delete;

    void exec(const std::string& sql) {
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
            << (error != nullptr ? error : "");
        sqlite3_free(error);
    }
    // Row ids from 200 keep the record header clear of the freeblock link
    // that deletion writes over a cell's first four bytes.
    void insert(int row, bool fromMe, const std::string& text) {
        exec("INSERT INTO ZWAMESSAGE VALUES (" + std::to_string(200 + row) + ", 9, " +
             std::to_string(2 + row % 4) + ", " + (fromMe ? "1" : "0") +
             ", 2, 0, 5, 0, 7, NULL, NULL, NULL, " + std::to_string(600000000 + row * 60) +
             ".5, '4915112345678@s.whatsapp.net', " + (fromMe ? "NULL" : "'Anna'") +
             ", 'STANZA-000000000000-" + std::to_string(row) + "', '" + text +
             "', '4915199999999@s.whatsapp.net')");
    }

private:
    std::string path_;
    sqlite3* db_ = nullptr;
};

std::string rowText(int row) {
    return "message number " + std::to_string(row) + " from the chat";
}

bool deletedRow(int row) {
    return (200 + row) % 3 == 0;
}

// A chat database of `rows` rows where every third one was deleted. Twenty
// rows fit on one leaf; sixty need several, and the deletions make SQLite
// merge leaves, which overwrites some of the deleted rows for good.
void writeChatDatabase(const std::string& path, int rows) {
    ChatDatabaseFile db(path);
    db.exec("BEGIN");
    for (int row = 0; row < rows; ++row) {
        db.insert(row, row % 2 == 0, rowText(row));
    }
    db.exec("COMMIT");
    db.exec("DELETE FROM ZWAMESSAGE WHERE Z_PK % 3 = 0");
}

// Whether a table leaf still holds the text. An interior page may hold old
// rows too, from before it was split, but its cells never look like messages.
bool onTableLeaf(const std::string& raw, const std::string& text) {
    constexpr size_t kPageSize = 4096;
    for (size_t at = raw.find(text); at != std::string::npos; at = raw.find(text, at + 1)) {
        if (raw[at - at % kPageSize] == 0x0d) {
            return true;
        }
    }
    return false;
}

const KTWhatsAppNode* findText(const CarveResult& result, const std::string& text) {
    for (const CarvedRecord& record : result.records) {
        if (record.message->messageContent == text) {
            return record.message.get();
        }
    }
    return nullptr;
}

TEST(DeletedMessageCarver, RecoversEveryDeletedRowARealDatabaseStillHolds) {
    test::ScopedTimeZone utc("UTC");
    auto scratch = ScratchFolder::create("carver-test");
    ASSERT_TRUE(scratch);
    const std::string path = scratch->path() + "/ChatStorage.sqlite";
    writeChatDatabase(path, 60);
    const std::string raw = test::readFile(path);
    auto file = CarvingFile::open(path);
    ASSERT_TRUE(file);
    const CarveResult result = carve(*file, CarverVariant::Backup);
    EXPECT_TRUE(result.finished);
    int survivors = 0;
    for (int row = 0; row < 60; ++row) {
        if (!deletedRow(row) || !onTableLeaf(raw, rowText(row))) {
            continue;
        }
        ++survivors;
        const KTWhatsAppNode* m = findText(result, rowText(row));
        ASSERT_NE(m, nullptr) << rowText(row);
        EXPECT_EQ(m->chatID, 7);
        EXPECT_EQ(m->messageType, row % 2 == 0 ? "Send" : "Receive");
        EXPECT_EQ(m->messageNumb, row % 2 == 0 ? "4915199999999" : "4915112345678");
        EXPECT_EQ(m->messageDate, GetNSStringDate(GetDateTime(600000000 + row * 60, 0)));
    }
    EXPECT_GE(survivors, 8);
}

// ---- The scan stages -----------------------------------------------------

// Small enough for one leaf, so every deleted row is still there.
constexpr int kStageRows = 20;

class CarverStageTest : public ::testing::Test {
protected:
    CarverStageTest() : state(center) {
        posts = ScopedObserver(center, "DelScanWhatsAppInfo", [this](const Notification& n) {
            posted.push_back(std::any_cast<KTWhatsAppNodePtr>(n.object));
        });
        progress = ScopedObserver(center, "ScanProgressInfo", [this](const Notification& n) {
            percents.push_back(std::any_cast<int>(n.object));
        });
    }

    // The live reader's view of the rows that are still there.
    void addLiveMessages() {
        for (int row = 0; row < kStageRows; ++row) {
            if (!deletedRow(row)) {
                auto live = std::make_shared<KTWhatsAppNode>();
                live->chatID = 7;
                live->messageContent = rowText(row);
                live->messageDate = GetNSStringDate(GetDateTime(600000000 + row * 60, 0));
                state.wpChatArray.push_back(live);
            }
        }
    }

    test::TempHome home;
    std::string folder = home.path() + "/backup";
    NotificationCenter center;
    ScanState state;
    std::vector<KTWhatsAppNodePtr> posted;
    std::vector<int> percents;
    ScopedObserver posts;
    ScopedObserver progress;
};

TEST_F(CarverStageTest, BackupStagePostsOnlyMessagesTheReaderDidNotShow) {
    std::filesystem::create_directories(folder);
    const std::string source = folder + "/7c7fba66680ef796b916b067077cc246adacf01d";
    writeChatDatabase(source, kStageRows);
    const auto before = test::treeDigest(folder);
    addLiveMessages();
    SystemLog::Capture log;
    scanDeletedWhatsAppMessageThread(state, folder);
    EXPECT_EQ(posted.size(), 7u);
    for (const KTWhatsAppNodePtr& message : posted) {
        EXPECT_TRUE(message->bDeleted);
        EXPECT_EQ(message->whatsAppcontactPath, std::nullopt);
    }
    EXPECT_EQ(state.wpChatArray.size(), 13u);
    EXPECT_TRUE(log.contains("Deleted-message recovery: 13 carved records were live messages"));
    EXPECT_EQ(percents, std::vector<int>{80});
    EXPECT_EQ(test::treeDigest(folder), before);  // the source is only copied
}

TEST_F(CarverStageTest, BackupStageFindsPicturesAndHonoursTheStopFlag) {
    std::filesystem::create_directories(folder + "/7c");
    writeChatDatabase(folder + "/7c/7c7fba66680ef796b916b067077cc246adacf01d", kStageRows);
    state.biOS10version = true;
    auto favourite = std::make_shared<KTWhatsAppFavContact>();
    favourite->whatsAppID = "4915112345678@s.whatsapp.net";
    favourite->contactImagePath = "Media/Profile/4915112345678-1";
    state.whatsAppFavContactArray.push_back(favourite);
    const std::string picture = folder + "/picture";
    test::writeFile(picture, "jpeg");
    state.index.treeFileDict["Media/Profile/4915112345678-1.thumb"] = picture;
    scanDeletedWhatsAppMessageThread(state, folder);
    ASSERT_EQ(posted.size(), 20u);
    for (const KTWhatsAppNodePtr& message : posted) {
        const bool received = message->messageType == "Receive";
        EXPECT_EQ(message->whatsAppcontactPath,
                  received ? std::optional<std::string>(picture) : std::nullopt);
    }

    posted.clear();
    percents.clear();
    state.bStopScan = true;
    scanDeletedWhatsAppMessageThread(state, folder);
    EXPECT_TRUE(posted.empty());
    EXPECT_TRUE(percents.empty());
}

TEST_F(CarverStageTest, MissingDatabaseIsLoggedAndNothingPosted) {
    SystemLog::Capture log;
    scanDeletedWhatsAppMessageThread(state, folder);
    EXPECT_TRUE(log.contains("WhatsAppMessageDB is not exist"));
    scanDeletedWhatsAppMessageThread(state, "");
    scanDeletediCloudWhatsAppMessageThread(state, folder);
    EXPECT_TRUE(posted.empty());
    EXPECT_TRUE(percents.empty());
}

TEST_F(CarverStageTest, IcloudStageAppendsAndPostsEvenWhenStopped) {
    std::filesystem::create_directories(folder);
    writeChatDatabase(folder + "/ChatStorage.sqlite", kStageRows);
    addLiveMessages();
    state.bStopScan = true;
    scanDeletediCloudWhatsAppMessageThread(state, folder);
    EXPECT_EQ(posted.size(), 7u);
    ASSERT_EQ(state.wpChatArray.size(), 20u);
    EXPECT_EQ(state.wpChatArray.back(), posted.back());
    EXPECT_EQ(percents, std::vector<int>{80});
}

}  // namespace
}  // namespace vessamo
