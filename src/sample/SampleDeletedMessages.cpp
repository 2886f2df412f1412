#include "sample/SampleDeletedMessages.h"

#include <array>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <variant>

#include "carving/CarverPatterns.h"
#include "common/SqliteDatabase.h"
#include "sample/SampleChatStorage.h"
#include "sample/SampleRecordImage.h"

namespace vessamo::sample {

namespace {

// What a message table column holds. Columns this sample has no use for
// stay NULL, as they do on phones for most rows.
enum class Field {
    Null,
    Pk,
    Entity,
    Version,
    FromMe,
    Status,
    Type,
    Sort,
    Spotlight,
    Starred,
    Chat,
    GroupMember,
    Date,
    SentDate,
    FromJid,
    PushName,
    StanzaId,
    Text,
    ToJid,
    DeliveredCount,
    DataVersion,
    Zero,
};

// The message tables of older WhatsApp versions; the current one is the
// regular sample's.
const char* kTable18 =
    "CREATE TABLE ZWAMESSAGE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
    "ZISFROMME INTEGER, ZMESSAGESTATUS INTEGER, ZMESSAGETYPE INTEGER, ZSORT INTEGER, "
    "ZSTARRED INTEGER, ZCHATSESSION INTEGER, ZGROUPMEMBER INTEGER, ZMEDIAITEM INTEGER, "
    "ZMESSAGEINFO INTEGER, ZMESSAGEDATE TIMESTAMP, ZFROMJID VARCHAR, ZPUSHNAME VARCHAR, "
    "ZSTANZAID VARCHAR, ZTEXT VARCHAR, ZTOJID VARCHAR );";
const char* kTable20 =
    "CREATE TABLE ZWAMESSAGE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
    "ZCHILDMESSAGESDELIVEREDCOUNT INTEGER, ZCHILDMESSAGESPLAYEDCOUNT INTEGER, ZISFROMME INTEGER, "
    "ZMESSAGESTATUS INTEGER, ZMESSAGETYPE INTEGER, ZSORT INTEGER, ZSPOTLIGHTSTATUS INTEGER, "
    "ZCHATSESSION INTEGER, ZGROUPMEMBER INTEGER, ZMEDIAITEM INTEGER, ZMESSAGEINFO INTEGER, "
    "ZMESSAGEDATE TIMESTAMP, ZFROMJID VARCHAR, ZPUSHNAME VARCHAR, ZSTANZAID VARCHAR, "
    "ZTEXT VARCHAR, ZTOJID VARCHAR );";

Field fieldOf(std::string_view column, MessageTableShape shape) {
    static const std::unordered_map<std::string_view, Field> kFields = {
        {"Z_PK", Field::Pk},
        {"Z_ENT", Field::Entity},
        {"Z_OPT", Field::Version},
        {"ZISFROMME", Field::FromMe},
        {"ZMESSAGESTATUS", Field::Status},
        {"ZMESSAGETYPE", Field::Type},
        {"ZSORT", Field::Sort},
        {"ZSPOTLIGHTSTATUS", Field::Spotlight},
        {"ZSTARRED", Field::Starred},
        {"ZCHATSESSION", Field::Chat},
        {"ZGROUPMEMBER", Field::GroupMember},
        {"ZMESSAGEDATE", Field::Date},
        {"ZSENTDATE", Field::SentDate},
        {"ZFROMJID", Field::FromJid},
        {"ZPUSHNAME", Field::PushName},
        {"ZSTANZAID", Field::StanzaId},
        {"ZTEXT", Field::Text},
        {"ZTOJID", Field::ToJid},
        {"ZCHILDMESSAGESDELIVEREDCOUNT", Field::DeliveredCount},
        {"ZCHILDMESSAGESPLAYEDCOUNT", Field::Zero},
        {"ZCHILDMESSAGESREADCOUNT", Field::Zero},
        {"ZDATAITEMVERSION", Field::DataVersion},
        {"ZDOCID", Field::Zero},
        {"ZENCRETRYCOUNT", Field::Zero},
        {"ZFILTEREDRECIPIENTCOUNT", Field::Zero},
        {"ZFLAGS", Field::Zero},
        {"ZGROUPEVENTTYPE", Field::Zero},
        {"ZMESSAGEERRORSTATUS", Field::Zero},
    };
    auto found = kFields.find(column);
    if (found == kFields.end()) {
        return Field::Null;
    }
    // The wide table keeps its three child-message counters at zero on every
    // row; recovery relies on that.
    if (found->second == Field::DeliveredCount && shape == MessageTableShape::Columns34) {
        return Field::Zero;
    }
    return found->second;
}

// One message as the phone stored it.
struct Row {
    int64_t pk = 0;
    int64_t chat = 0;
    int64_t groupMember = 0;
    int64_t version = 1;
    int64_t status = 0;
    int64_t type = 0;
    int64_t deliveredCount = 0;
    bool fromMe = false;
    bool starred = false;
    bool wholeSecondDate = false;
    double date = 0;
    std::optional<std::string> fromJid;
    std::optional<std::string> toJid;
    std::optional<std::string> pushName;
    std::optional<std::string> text;
    std::string stanzaId;
};

constexpr const char* kPushNames[] = {"Anna", "Ben K.", "Carla", "Dev", "Eli", "Farah"};
constexpr const char* kShortTexts[] = {
    "On my way", "Running late, sorry",     "See you at 7?",  "Thanks!",
    "Ok",        "Call me when free",       "Where are you?", "Happy birthday!!",
    "lol",       "Can you send the address"};
constexpr const char* kLongTexts[] = {
    "Just got home, the train was delayed again by almost forty minutes because of the storm",
    "Could you pick up bread, milk and the parcel from the post office on your way back today",
    "The meeting moved to Thursday afternoon, I will send everyone the new agenda tonight",
    "We booked the flat by the lake for the second week of August, bring the kids' bikes"};
constexpr int64_t kGroupChatCreator = 1;
constexpr double kFirstDate = 662688000;  // 2022-01-01, in seconds since 2001

std::string partnerNumber(int64_t partner) {
    return "4917" + std::to_string(20000000 + partner * 7919);
}

std::string partnerJid(int64_t partner) {
    return partnerNumber(partner) + "@s.whatsapp.net";
}

std::string groupJid() {
    return partnerNumber(kGroupChatCreator) + "-1609459200@g.us";
}

bool isGroupChat(int64_t chat, size_t chats) {
    return chats >= 2 && chat == static_cast<int64_t>(chats);
}

std::string chatJid(int64_t chat, size_t chats) {
    return isGroupChat(chat, chats) ? groupJid() : partnerJid(chat);
}

// A multiplication by an odd constant is a bijection, so every pk gets its
// own stanza id; the survival check finds rows by it.
constexpr uint64_t kStanzaMix = 0x9E3779B97F4A7C15ULL;
constexpr std::string_view kStanzaPrefix = "3EB0";

std::string stanzaIdOf(int64_t pk) {
    static const char* kHex = "0123456789ABCDEF";
    uint64_t key = static_cast<uint64_t>(pk) * kStanzaMix;
    std::string id(kStanzaPrefix);
    for (int shift = 60; shift >= 0; shift -= 4) {
        id += kHex[(key >> shift) & 0xF];
    }
    return id;
}

std::optional<std::string> textOf(size_t index, int64_t pk) {
    if (index % 13 == 7) {
        return std::nullopt;  // a picture whose media row is gone
    }
    // A char, not " ": GCC 12 at -O3 warns falsely (-Wrestrict) on a string
    // literal added to a temporary string.
    const std::string number = ' ' + std::to_string(pk);
    if (index % 5 != 2) {
        return kShortTexts[index % std::size(kShortTexts)] + number;
    }
    // 58 bytes and more take a two-byte serial type, which makes the record
    // header one byte longer.
    std::string text = kLongTexts[index % std::size(kLongTexts)];
    if (index % 10 == 7) {
        text += ". ";
        text += kLongTexts[(index / 10) % std::size(kLongTexts)];
    }
    return text + number;
}

void fillParties(Row& row, size_t index, size_t chats) {
    const bool group = isGroupChat(row.chat, chats);
    if (row.fromMe) {
        row.toJid = chatJid(row.chat, chats);
        row.deliveredCount = group ? 2 : 0;
        return;
    }
    int64_t sender = row.chat;
    if (group) {
        row.groupMember = 1 + static_cast<int64_t>((index / chats) % 3);
        sender = row.groupMember;
    }
    row.fromJid = group ? groupJid() : partnerJid(sender);
    row.pushName = kPushNames[sender % std::size(kPushNames)];
}

int64_t pkOf(size_t index) {
    return static_cast<int64_t>(index) + 1;
}

Row makeRow(size_t index, size_t chats) {
    Row row;
    row.pk = pkOf(index);
    row.chat = 1 + static_cast<int64_t>(index % chats);
    row.fromMe = index % 3 == 1;
    // Sent messages always went through status updates, so their version is 2 or more; received
    // ones are mostly untouched (version 1).
    row.version = row.fromMe ? 2 + static_cast<int64_t>(index % 5)
                             : (index % 4 == 0 ? 2 + static_cast<int64_t>(index % 3) : 1);
    row.status = row.fromMe ? 6 : 8;
    row.text = textOf(index, row.pk);
    row.type = row.text ? 0 : 1;
    row.starred = index % 29 == 11;
    row.wholeSecondDate = index % 6 == 5;
    row.date = kFirstDate + static_cast<double>(index) * 23.0;
    if (!row.wholeSecondDate) {
        row.date += 0.25 + static_cast<double>(index % 7) * 0.1;
    }
    row.stanzaId = stanzaIdOf(row.pk);
    fillParties(row, index, chats);
    return row;
}

using Value = std::variant<std::monostate, int64_t, double, std::string_view>;

Value textValue(const std::optional<std::string>& text) {
    return text ? Value(std::string_view(*text)) : Value();
}

Value valueOf(const Row& row, Field field) {
    switch (field) {
        case Field::Null:
            return {};
        case Field::Pk:
            return row.pk;
        case Field::Entity:
            return int64_t{9};
        case Field::Version:
            return row.version;
        case Field::FromMe:
            return int64_t{row.fromMe ? 1 : 0};
        case Field::Status:
            return row.status;
        case Field::Type:
            return row.type;
        case Field::Sort:
            return row.pk;
        case Field::Spotlight:
            return int64_t{row.pk % 2};
        case Field::Starred:
            return int64_t{row.starred ? 1 : 0};
        case Field::Chat:
            return row.chat;
        case Field::GroupMember:
            return row.groupMember != 0 ? Value(row.groupMember) : Value();
        case Field::Date:
            return row.wholeSecondDate ? Value(static_cast<int64_t>(row.date)) : Value(row.date);
        case Field::SentDate:
            return row.fromMe ? Value(row.date) : Value();
        case Field::FromJid:
            return textValue(row.fromJid);
        case Field::PushName:
            return textValue(row.pushName);
        case Field::StanzaId:
            return std::string_view(row.stanzaId);
        case Field::Text:
            return textValue(row.text);
        case Field::ToJid:
            return textValue(row.toJid);
        case Field::DeliveredCount:
            return row.deliveredCount;
        case Field::DataVersion:
            return int64_t{3};
        case Field::Zero:
            return int64_t{0};
    }
    return {};
}

// --- The record SQLite writes for a row -----------------------------------

void appendValue(const Value& value, std::string& serials, std::string& data) {
    if (const auto* integer = std::get_if<int64_t>(&value)) {
        auto [serial, width] = integerSerial(*integer);
        appendVarint(serials, serial);
        appendBigEndian(data, static_cast<uint64_t>(*integer), width);
    } else if (const auto* real = std::get_if<double>(&value)) {
        uint64_t bits = 0;
        std::memcpy(&bits, real, sizeof bits);
        appendVarint(serials, 7);
        appendBigEndian(data, bits, 8);
    } else if (const auto* text = std::get_if<std::string_view>(&value)) {
        appendVarint(serials, 13 + 2 * text->size());
        data.append(*text);
    } else {
        appendVarint(serials, 0);
    }
}

struct Record {
    std::string bytes;
    size_t stanzaOffset = 0;  // where the stanza id sits inside bytes
};

Record recordOf(const Row& row, const std::vector<Field>& fields) {
    std::string serials;
    std::string data;
    size_t stanzaInData = 0;
    for (Field field : fields) {
        if (field == Field::StanzaId) {
            stanzaInData = data.size();
        }
        // The INTEGER PRIMARY KEY lives in the cell's rowid; the record
        // keeps a NULL in its place.
        appendValue(field == Field::Pk ? Value() : valueOf(row, field), serials, data);
    }
    Record record;
    const size_t headerSize = serials.size() + 1;
    appendVarint(record.bytes, headerSize < 128 ? headerSize : headerSize + 1);
    record.bytes += serials;
    record.stanzaOffset = record.bytes.size() + stanzaInData;
    record.bytes += data;
    return record;
}

// --- Which rows go ----------------------------------------------------------

struct DeletionPlan {
    size_t every = 0;
    std::vector<std::pair<size_t, size_t>> runs;  // first index, one past the last
    size_t messages = 0;                          // only these were there to delete
    int64_t chat = 0;                             // a chat that goes whole
    size_t chats = 1;

    [[nodiscard]] bool deletes(size_t index) const {
        if (index >= messages) {
            return false;
        }
        if (chat != 0 && 1 + static_cast<int64_t>(index % chats) == chat) {
            return true;
        }
        if (every != 0 && (index + 1) % every == 0) {
            return true;
        }
        return std::any_of(runs.begin(), runs.end(), [index](const auto& run) {
            return index >= run.first && index < run.second;
        });
    }
};

// A run must span about three pages' worth of rows, so that after SQLite
// merges the emptied leaves at least one whole page lands on the free list.
size_t rowsPerPage(const DeletedRowsOptions& options, const std::vector<Field>& fields) {
    constexpr size_t kCellOverhead = 6;  // payload length, rowid and cell pointer
    const size_t sampled = std::min<size_t>(options.messages, 64);
    size_t bytes = 0;
    for (size_t i = 0; i < sampled; ++i) {
        bytes += recordOf(makeRow(i, options.chats), fields).bytes.size() + kCellOverhead;
    }
    return bytes == 0 ? 1 : std::max<size_t>(1, options.pageSize * sampled / bytes);
}

DeletionPlan planDeletions(const DeletedRowsOptions& options, const std::vector<Field>& fields) {
    DeletionPlan plan;
    plan.every = options.deleteEvery;
    plan.messages = options.messages;
    plan.chat = options.deletedChat;
    plan.chats = options.chats;
    if (!options.freeWholePages || options.messages < 4) {
        return plan;
    }
    const size_t runs = 1 + options.messages / 400000;
    const size_t length = std::min(3 * rowsPerPage(options, fields), options.messages / (2 * runs));
    for (size_t r = 0; r < runs; ++r) {
        const size_t centre = options.messages * (2 * r + 1) / (2 * runs);
        plan.runs.emplace_back(centre - length / 2, centre - length / 2 + length);
    }
    return plan;
}

// --- Writing ----------------------------------------------------------------

std::nullopt_t fail(std::string* error, const std::string& reason) {
    if (error != nullptr) {
        *error = reason;
    }
    return std::nullopt;
}

SampleChatDatabase chatsOf(size_t chats) {
    SampleChatDatabase content;
    for (size_t i = 1; i <= chats; ++i) {
        const auto chat = static_cast<int64_t>(i);
        const bool group = isGroupChat(chat, chats);
        content.chats.push_back({chat, chatJid(chat, chats),
                                 group ? "Weekend plans" : kPushNames[chat % std::size(kPushNames)],
                                 group ? 1 : 0});
    }
    for (int64_t member = 1; chats >= 2 && member <= 3; ++member) {
        content.members.push_back({member, static_cast<int64_t>(chats), partnerJid(member),
                                   kPushNames[member % std::size(kPushNames)]});
    }
    for (int64_t partner = 1; partner <= std::max<int64_t>(3, static_cast<int64_t>(chats));
         ++partner) {
        content.pushNames.emplace_back(partnerJid(partner),
                                       kPushNames[partner % std::size(kPushNames)]);
    }
    return content;
}

// The other tables come from the regular sample writer; older shapes swap
// in their message table. The VACUUM settles the page size and clears what
// the swap freed, before any message is written.
bool prepareTables(SqliteDatabase& db, const DeletedRowsOptions& options) {
    if (options.shape != MessageTableShape::Columns34 &&
        db.execute(
            std::string("DROP INDEX ZWAMESSAGE_ZCHATSESSION_INDEX; DROP TABLE ZWAMESSAGE; ") +
            (options.shape == MessageTableShape::Columns18 ? kTable18 : kTable20) +
            "CREATE INDEX ZWAMESSAGE_ZCHATSESSION_INDEX ON ZWAMESSAGE (ZCHATSESSION);") !=
            SQLITE_OK) {
        return false;
    }
    // Phones never scrub deleted records: secure delete off (this SQLite
    // build turns it on by default), no auto-vacuum, a rollback journal.
    // Durability does not matter for a sample, so no syncing.
    const std::string settings = "PRAGMA page_size=" + std::to_string(options.pageSize) +
                                 "; PRAGMA auto_vacuum=NONE; VACUUM; PRAGMA journal_mode=DELETE; "
                                 "PRAGMA synchronous=OFF; PRAGMA secure_delete=OFF; "
                                 "PRAGMA cache_size=-65536;";
    return db.execute(settings) == SQLITE_OK;
}

std::vector<Field> messageFields(const SqliteDatabase& db, MessageTableShape shape) {
    std::vector<Field> fields;
    SqliteStatement columns;
    if (columns.prepare(db, "PRAGMA table_info(ZWAMESSAGE)") != SQLITE_OK) {
        return fields;
    }
    while (columns.step() == SQLITE_ROW) {
        fields.push_back(fieldOf(columns.columnText(1).value_or(""), shape));
    }
    return fields;
}

std::string insertSql(const SqliteDatabase& db) {
    std::string names;
    std::string marks;
    SqliteStatement columns;
    if (columns.prepare(db, "PRAGMA table_info(ZWAMESSAGE)") == SQLITE_OK) {
        while (columns.step() == SQLITE_ROW) {
            if (!names.empty()) {
                names += ',';
            }
            names += columns.columnText(1).value_or("");
            marks += marks.empty() ? "?" : ",?";
        }
    }
    return "INSERT INTO ZWAMESSAGE (" + names + ") VALUES (" + marks + ")";
}

bool bindValue(SqliteStatement& insert, int index, const Value& value) {
    if (const auto* integer = std::get_if<int64_t>(&value)) {
        return insert.bind(index, *integer) == SQLITE_OK;
    }
    if (const auto* real = std::get_if<double>(&value)) {
        return insert.bind(index, *real) == SQLITE_OK;
    }
    if (const auto* text = std::get_if<std::string_view>(&value)) {
        return insert.bind(index, *text) == SQLITE_OK;
    }
    return insert.bindNull(index) == SQLITE_OK;
}

bool insertRows(SqliteDatabase& db, const std::vector<Field>& fields, size_t first, size_t last,
                size_t chats) {
    SqliteStatement insert;
    if (insert.prepare(db, insertSql(db)) != SQLITE_OK || db.execute("BEGIN") != SQLITE_OK) {
        return false;
    }
    for (size_t index = first; index < last; ++index) {
        const Row row = makeRow(index, chats);
        for (size_t column = 0; column < fields.size(); ++column) {
            if (!bindValue(insert, static_cast<int>(column) + 1, valueOf(row, fields[column]))) {
                return false;
            }
        }
        if (insert.step() != SQLITE_DONE || insert.reset() != SQLITE_OK) {
            return false;
        }
    }
    return db.execute("COMMIT") == SQLITE_OK;
}

bool deleteRows(SqliteDatabase& db, const DeletionPlan& plan) {
    SqliteStatement remove;
    if (remove.prepare(db, "DELETE FROM ZWAMESSAGE WHERE Z_PK = ?") != SQLITE_OK ||
        db.execute("BEGIN") != SQLITE_OK) {
        return false;
    }
    for (size_t index = 0; index < plan.messages; ++index) {
        if (!plan.deletes(index)) {
            continue;
        }
        if (remove.bind(1, pkOf(index)) != SQLITE_OK || remove.step() != SQLITE_DONE ||
            remove.reset() != SQLITE_OK) {
            return false;
        }
    }
    if (plan.chat != 0) {
        const std::string chat = std::to_string(plan.chat);
        if (db.execute("DELETE FROM ZWACHATSESSION WHERE Z_PK = " + chat +
                       "; DELETE FROM ZWAGROUPMEMBER WHERE ZCHATSESSION = " + chat + ";") !=
            SQLITE_OK) {
            return false;
        }
    }
    return db.execute("COMMIT") == SQLITE_OK;
}

// --- What is left in the file -----------------------------------------------

// The finished file, mapped read-only.
class MappedFile {
public:
    explicit MappedFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY)) {
        struct stat info {};
        if (fd_ < 0 || fstat(fd_, &info) != 0 || info.st_size <= 0) {
            return;
        }
        void* mapped =
            mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd_, 0);
        if (mapped != MAP_FAILED) {
            data_ = static_cast<const char*>(mapped);
            size_ = static_cast<size_t>(info.st_size);
        }
    }
    ~MappedFile() {
        if (data_ != nullptr) {
            munmap(const_cast<char*>(data_), size_);
        }
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    [[nodiscard]] std::string_view bytes() const { return {data_, size_}; }
    [[nodiscard]] bool isOpen() const { return data_ != nullptr; }

private:
    int fd_ = -1;
    const char* data_ = nullptr;
    size_t size_ = 0;
};

std::optional<uint64_t> stanzaKey(std::string_view hex) {
    uint64_t key = 0;
    for (char c : hex) {
        int digit = c >= '0' && c <= '9' ? c - '0' : (c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1);
        if (digit < 0) {
            return std::nullopt;
        }
        key = key << 4 | static_cast<uint64_t>(digit);
    }
    return key;
}

// A deleted row survives when its whole record, byte for byte as SQLite
// wrote it, still stands in the file on a page recovery examines. Records are unique (the
// stanza id and sort key differ per row), so a match can be no live row.
// Rather than searching for every record, each stanza id in the file is
// looked up and the record around it compared: one pass, however many rows.
// A record whose first bytes were overwritten by a freeblock link counts as
// gone, even though some of its columns might still be read.
// Recovery reads only pages that look like table pages whose first cells
// start like message records; a record elsewhere (left behind on a page
// that became an interior page, say) is out of its reach.
bool onExaminedPage(std::string_view file, size_t offset, uint32_t pageSize) {
    const size_t start = offset - offset % pageSize;
    if (start == 0 || start + 14 > file.size()) {
        return false;
    }
    const auto flag = static_cast<uint8_t>(file[start]);
    if (flag != 0x0d && flag != 0x05 && flag != 0x00) {
        return false;
    }
    for (size_t at : {start + 8, start + 10, start + 12}) {
        const size_t cell =
            (static_cast<uint8_t>(file[at]) << 8) | static_cast<uint8_t>(file[at + 1]);
        std::array<uint8_t, kCellProbeBytes> probe{};
        for (size_t i = 0; i < probe.size(); ++i) {
            const size_t byte = start + cell + 4 + i;
            probe[i] = byte < file.size() ? static_cast<uint8_t>(file[byte]) : 0;
        }
        if (cellProbeHoldsPattern(probe)) {
            return true;
        }
    }
    return false;
}

std::vector<bool> findSurvivors(const std::string_view file, const std::vector<Record>& records,
                                const std::vector<int64_t>& pks, uint32_t pageSize) {
    std::unordered_map<uint64_t, size_t> byKey;
    for (size_t i = 0; i < pks.size(); ++i) {
        byKey.emplace(static_cast<uint64_t>(pks[i]) * kStanzaMix, i);
    }
    std::vector<bool> survived(records.size(), false);
    constexpr size_t kStanzaLength = 20;
    for (size_t at = file.find(kStanzaPrefix); at != std::string_view::npos;
         at = file.find(kStanzaPrefix, at + 1)) {
        auto key = stanzaKey(file.substr(at + kStanzaPrefix.size(), 16));
        auto found = key ? byKey.find(*key) : byKey.end();
        if (at + kStanzaLength > file.size() || found == byKey.end()) {
            continue;
        }
        const Record& record = records[found->second];
        if (at >= record.stanzaOffset &&
            file.substr(at - record.stanzaOffset, record.bytes.size()) == record.bytes &&
            onExaminedPage(file, at - record.stanzaOffset + 2, pageSize)) {
            survived[found->second] = true;
        }
    }
    return survived;
}

SurvivingRow summaryOf(const Row& row) {
    return {row.pk, row.chat, row.text.value_or(""), row.date, row.fromMe};
}

std::optional<DeletedRowsDatabase> collectRows(const std::string& path,
                                               const DeletedRowsOptions& options,
                                               const std::vector<Field>& fields,
                                               const DeletionPlan& plan, std::string* error) {
    DeletedRowsDatabase result;
    std::vector<Record> records;
    std::vector<int64_t> pks;
    for (size_t index = 0; index < options.messages + options.laterMessages; ++index) {
        const Row row = makeRow(index, options.chats);
        if (!plan.deletes(index)) {
            result.liveRows.push_back(summaryOf(row));
            continue;
        }
        result.deletedRows.push_back(summaryOf(row));
        records.push_back(recordOf(row, fields));
        pks.push_back(row.pk);
    }
    const MappedFile file(path);
    if (!file.isOpen()) {
        return fail(error, "cannot read back " + path);
    }
    const std::vector<bool> survived = findSurvivors(file.bytes(), records, pks, options.pageSize);
    for (size_t i = 0; i < survived.size(); ++i) {
        if (survived[i]) {
            result.survivingDeletedRows.push_back(result.deletedRows[i]);
        }
    }
    return result;
}

}  // namespace

std::optional<DeletedRowsDatabase> writeChatStorageWithDeletedRows(
    const std::string& path, const DeletedRowsOptions& options, std::string* error) {
    const uint32_t size = options.pageSize;
    if (options.chats == 0 || size < 512 || size > 65536 || (size & (size - 1)) != 0) {
        return fail(error, "unusable options for " + path);
    }
    if (!writeChatStorage(path, chatsOf(options.chats), error)) {
        return std::nullopt;
    }
    std::vector<Field> fields;
    DeletionPlan plan;
    {
        SqliteDatabase db;
        bool written = db.open(path, SqliteDatabase::Mode::ReadWrite) == SQLITE_OK &&
                       prepareTables(db, options);
        if (written) {
            fields = messageFields(db, options.shape);
            plan = planDeletions(options, fields);
            const size_t all = options.messages + options.laterMessages;
            written = !fields.empty() &&
                      insertRows(db, fields, 0, options.messages, options.chats) &&
                      deleteRows(db, plan) &&
                      insertRows(db, fields, options.messages, all, options.chats);
        }
        if (!written) {
            return fail(error, "cannot fill " + path + ": " + db.lastError());
        }
    }
    return collectRows(path, options, fields, plan, error);
}

}  // namespace vessamo::sample
