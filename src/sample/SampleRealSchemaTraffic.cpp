#include "sample/SampleRealSchemaTraffic.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>

#include "common/ScratchFolder.h"
#include "common/SqliteDatabase.h"
#include "sample/SampleRecordImage.h"

namespace vessamo::sample {

namespace fs = std::filesystem;

namespace {

using Row = std::vector<std::pair<std::string, Value>>;

// --- Made-up but plausible content -------------------------------------------------

class Random {
public:
    explicit Random(uint32_t seed) : engine_(seed) {}
    uint64_t next() { return engine_(); }
    size_t below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(engine_() % n); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(engine_) < p; }
    double between(double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(engine_);
    }
    std::string bytes(size_t count) {
        std::string out;
        for (size_t i = 0; i < count; ++i) {
            out += static_cast<char>(below(256));
        }
        return out;
    }
    std::string hex(size_t digits) {
        static const char* kHex = "0123456789ABCDEF";
        std::string out;
        for (size_t i = 0; i < digits; ++i) {
            out += kHex[below(16)];
        }
        return out;
    }

private:
    std::mt19937_64 engine_;
};

constexpr const char* kWords[] = {
    "ok",      "see",    "you",     "later",   "the",       "train",  "was",     "late",
    "again",   "dinner", "tonight", "at",      "eight",     "bring",  "kids",    "haha",
    "sure",    "thanks", "meeting", "moved",   "Thursday",  "call",   "me",      "when",
    "free",    "parcel", "arrived", "weather", "lovely",    "beach",  "weekend", "plans",
    "café",    "naïve",  "Grüße",   "😀",       "👍",         "❤️", "I’m",     "don’t",
    "address", "send",   "photos",  "from",    "yesterday", "budget", "review",  "draft"};
constexpr const char* kAsciiWords[] = {"ok",   "see",    "you",   "later", "the",  "train",
                                       "was",  "late",   "again", "call",  "me",   "when",
                                       "free", "parcel", "beach", "plans", "sure", "thanks"};
constexpr const char* kNames[] = {"Anna",  "Ben K.", "Carla", "Dev",   "Eli",   "Farah",
                                  "Gus",   "Hanna",  "Ivo",   "Jana",  "Kemal", "Lotte",
                                  "Marek", "Nora",   "Oskar", "Priya", "Quinn", "Rosa"};
constexpr const char* kSubjects[] = {"Weekend plans", "Family", "Book club", "Office 3rd floor",
                                     "Climbing"};

std::string words(Random& random, size_t bytes, bool asciiOnly) {
    std::string text;
    while (text.size() < bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        text += asciiOnly ? kAsciiWords[random.below(std::size(kAsciiWords))]
                          : kWords[random.below(std::size(kWords))];
    }
    if (asciiOnly) {
        text.resize(bytes);
        if (text.back() == ' ') {
            text.back() = '.';
        }
    }
    return text;
}

// Texts of every length phones see: mostly short, some exactly around the
// size where a text's serial type takes a second byte, some long, and now
// and then one too long for a page.
std::string textOfLength(Random& random) {
    const size_t pick = random.below(1000);
    if (pick < 400) {
        return words(random, 2 + random.below(29), false);
    }
    if (pick < 600) {
        return words(random, 31 + random.below(23), false);
    }
    if (pick < 700) {
        return words(random, 54 + random.below(4), true);  // 54 to 57 bytes
    }
    if (pick < 900) {
        return words(random, 58 + random.below(200), false);
    }
    if (pick < 996) {
        return words(random, 260 + random.below(1500), false);
    }
    return words(random, 4200 + random.below(3000), false);
}

std::string base64(std::string_view bytes) {
    static const char* kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t here = std::min<size_t>(3, bytes.size() - i);
        uint32_t chunk = 0;
        for (size_t k = 0; k < 3; ++k) {
            chunk = (chunk << 8) | (k < here ? static_cast<uint8_t>(bytes[i + k]) : 0);
        }
        for (size_t k = 0; k < 4; ++k) {
            out += k <= here ? kAlphabet[(chunk >> (18 - 6 * k)) & 0x3f] : '=';
        }
    }
    return out;
}

// A protocol buffer's varint: seven bits at a time, lowest first.
void appendProtoVarint(std::string& out, uint64_t value) {
    while (value >= 0x80) {
        out += static_cast<char>((value & 0x7f) | 0x80);
        value >>= 7;
    }
    out += static_cast<char>(value);
}

// Newer versions keep a message's metadata, base64 of a small protocol
// buffer, where older ones kept the sender's push name: the moment, and for
// what the owner sent the chat's address.
std::string metadataOf(int64_t unixSeconds, const std::string* recipient) {
    std::string proto;
    proto += '\x08';
    appendProtoVarint(proto, static_cast<uint64_t>(unixSeconds));
    if (recipient != nullptr) {
        proto += '\x1a';
        appendProtoVarint(proto, recipient->size());
        proto += *recipient;
        proto += "\x20\x01";
    } else {
        proto += "\x20\x00\x48\x01";
    }
    return base64(proto);
}

// --- The database being written -------------------------------------------------

struct Member {
    int64_t pk = 0;
    std::string jid;
    std::string name;
};

struct Chat {
    int64_t pk = 0;
    std::string jid;
    std::string name;
    bool group = false;
    int64_t groupInfo = 0;
    std::vector<Member> members;  // groups: the other members
    int64_t sort = 0;
    int64_t counter = 0;
    std::vector<size_t> messages;  // indexes of its added messages, oldest first
};

// Rows go in through statements kept per column list: thousands of
// messages share one.
class Writer {
public:
    explicit Writer(SqliteDatabase& db) : db_(db) {}

    bool insert(const std::string& table, const Row& row) {
        std::string names;
        std::string marks;
        for (const auto& [name, value] : row) {
            names += (names.empty() ? "" : ",") + name;
            marks += marks.empty() ? "?" : ",?";
        }
        return run("INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")", row);
    }

    bool run(const std::string& sql, const Row& row) {
        auto& statement = statements_[sql];
        if (!statement) {
            statement = std::make_unique<SqliteStatement>();
            if (statement->prepare(db_, sql) != SQLITE_OK) {
                return false;
            }
        }
        int index = 1;
        for (const auto& [name, value] : row) {
            if (!bind(*statement, index++, value)) {
                return false;
            }
        }
        const bool done = statement->step() == SQLITE_DONE;
        return statement->reset() == SQLITE_OK && done;
    }

    bool execute(const std::string& sql) { return db_.execute(sql) == SQLITE_OK; }

private:
    static bool bind(SqliteStatement& statement, int index, const Value& value) {
        if (const auto* integer = std::get_if<int64_t>(&value)) {
            return statement.bind(index, *integer) == SQLITE_OK;
        }
        if (const auto* real = std::get_if<double>(&value)) {
            return statement.bind(index, *real) == SQLITE_OK;
        }
        if (const auto* text = std::get_if<std::string>(&value)) {
            return statement.bind(index, std::string_view(*text)) == SQLITE_OK;
        }
        if (const auto* blob = std::get_if<Blob>(&value)) {
            return statement.bindBlob(index, blob->bytes.data(), blob->bytes.size()) == SQLITE_OK;
        }
        return statement.bindNull(index) == SQLITE_OK;
    }

    SqliteDatabase& db_;
    std::map<std::string, std::unique_ptr<SqliteStatement>> statements_;
};

// The entity numbers and the last key given out per entity, as Core Data
// keeps them; written back with every save, as the app does.
class PrimaryKeys {
public:
    bool read(const SqliteDatabase& db) {
        SqliteStatement rows;
        if (rows.prepare(db, "SELECT Z_NAME, Z_ENT, Z_MAX FROM Z_PRIMARYKEY") != SQLITE_OK) {
            return false;
        }
        while (rows.step() == SQLITE_ROW) {
            const std::string name = rows.columnText(0).value_or("");
            entity_[name] = rows.columnInt64(1);
            max_[name] = rows.columnInt64(2);
        }
        return entity_.contains("WAMessage") && entity_.contains("WAChatSession");
    }
    int64_t entity(const std::string& name) const { return entity_.at(name); }
    int64_t next(const std::string& name) { return ++max_[name]; }
    bool save(Writer& writer) const {
        for (const auto& [name, max] : max_) {
            if (!writer.run("UPDATE Z_PRIMARYKEY SET Z_MAX = ? WHERE Z_NAME = ?",
                            {{"", max}, {"", name}})) {
                return false;
            }
        }
        return true;
    }

private:
    std::map<std::string, int64_t> entity_;
    std::map<std::string, int64_t> max_;
};

constexpr int64_t kUnixOf2001 = 978307200;
constexpr double kFirstDate = 706100000;  // late May 2023, after the real rows

std::string personJid(Random& random) {
    return "4915" + std::to_string(100000000 + random.below(899999999)) + "@s.whatsapp.net";
}

class TrafficWriter {
public:
    TrafficWriter(SqliteDatabase& db, const RealTrafficOptions& options)
        : db_(db), writer_(db), options_(options), random_(options.seed) {}

    bool prepare(std::string* failure);
    bool addChats();
    void makeChats();
    Row sessionRow(const Chat& chat);
    bool addGroupRows(const Chat& chat);
    bool addPushName(const Chat& chat);
    bool addMessages(size_t count, const std::vector<size_t>& chats);
    bool deleteEverything(std::string* failure);
    RealTraffic collect(const std::string& databaseFile, const std::string& walFile);

    std::vector<Chat>& chats() { return chats_; }

private:
    bool addMessage(Chat& chat);
    std::optional<int64_t> addMediaItem(const Chat& chat, const TrafficMessage& message, int type);
    std::optional<Value> addMessageInfo(const TrafficMessage& message);
    Row messageRow(Chat& chat, const TrafficMessage& message, const Member* author, int type,
                   const Value& media, const Value& info);
    bool saveChats(const std::set<size_t>& touched);
    bool deleteMessages(const std::vector<size_t>& messages);
    bool deleteChat(size_t chat);
    bool remember(const std::vector<size_t>& messages);
    std::vector<size_t> pickSingles(const std::set<size_t>& spared);

    SqliteDatabase& db_;
    Writer writer_;
    RealTrafficOptions options_;
    Random random_;
    PrimaryKeys keys_;
    std::string owner_;
    std::vector<Chat> chats_;
    std::vector<TrafficMessage> added_;  // every message added, by index
    std::vector<bool> gone_;
    std::map<int64_t, size_t> byPk_;
    std::map<size_t, RecordImage> deletedRecords_;  // by added index, read before deleting
    std::vector<bool> realAffinity_;
    size_t stanzaColumn_ = 0;
    std::vector<int64_t> deletedChats_;
    std::vector<std::string> deletedChatNames_;
    std::vector<int64_t> deletedGroups_;
    double clock_ = kFirstDate;
    int64_t docId_ = 100;
};

bool TrafficWriter::prepare(std::string* failure) {
    // Phones never scrub what they delete; this SQLite build does by default.
    if (db_.execute("PRAGMA secure_delete=OFF; PRAGMA synchronous=OFF;") != SQLITE_OK ||
        !keys_.read(db_)) {
        *failure = "not a chat database with Core Data keys: " + db_.lastError();
        return false;
    }
    SqliteStatement owner;
    if (owner.prepare(db_,
                      "SELECT ZTOJID FROM ZWAMESSAGE WHERE ZISFROMME = 0 AND ZTOJID LIKE "
                      "'%@s.whatsapp.net' LIMIT 1") == SQLITE_OK &&
        owner.step() == SQLITE_ROW) {
        owner_ = owner.columnText(0).value_or("");
    }
    SqliteStatement columns;
    if (columns.prepare(db_, "PRAGMA table_info(ZWAMESSAGE)") != SQLITE_OK) {
        return false;
    }
    while (columns.step() == SQLITE_ROW) {
        if (columns.columnText(1).value_or("") == "ZSTANZAID") {
            stanzaColumn_ = realAffinity_.size();
        }
        realAffinity_.push_back(hasRealAffinity(columns.columnText(2).value_or("")));
    }
    return stanzaColumn_ > 0;
}

// Chats of both kinds; some group members are one-to-one partners too,
// as in life, and the owner is a member of every group.
void TrafficWriter::makeChats() {
    size_t name = 0;
    const auto addPerson = [&](std::string jid) {
        Chat chat;
        chat.pk = keys_.next("WAChatSession");
        chat.jid = std::move(jid);
        chat.name = kNames[name++ % std::size(kNames)];
        return chat;
    };
    for (size_t i = 0; i < options_.personChats; ++i) {
        chats_.push_back(addPerson(personJid(random_)));
    }
    for (size_t g = 0; g < options_.groups; ++g) {
        Chat chat;
        chat.pk = keys_.next("WAChatSession");
        chat.group = true;
        chat.jid =
            "120363" + std::to_string(100000000000ULL + random_.below(899999999999ULL)) + "@g.us";
        chat.name = kSubjects[g % std::size(kSubjects)];
        chat.groupInfo = keys_.next("WAGroupInfo");
        const size_t others = 3 + random_.below(4);
        for (size_t m = 0; m < others; ++m) {
            // Some members are also one-to-one partners, as in life.
            const bool known = m == 0 && !chats_.empty();
            const std::string jid =
                known ? chats_[g % options_.personChats].jid : personJid(random_);
            chat.members.push_back({keys_.next("WAGroupMember"), jid,
                                    known ? chats_[g % options_.personChats].name
                                          : kNames[name++ % std::size(kNames)]});
        }
        chat.members.push_back({keys_.next("WAGroupMember"), owner_, ""});
        chats_.push_back(std::move(chat));
    }
}

Row TrafficWriter::sessionRow(const Chat& chat) {
    return {
        {"Z_PK", chat.pk},
        {"Z_ENT", keys_.entity("WAChatSession")},
        {"Z_OPT", int64_t{1}},
        {"ZARCHIVED", int64_t{0}},
        {"ZCONTACTABID", int64_t{0}},
        {"ZFLAGS", int64_t{chat.group ? 256 : 272}},
        {"ZHIDDEN", int64_t{0}},
        {"ZIDENTITYVERIFICATIONEPOCH", int64_t{0}},
        {"ZIDENTITYVERIFICATIONSTATE", int64_t{0}},
        {"ZMESSAGECOUNTER", int64_t{0}},
        {"ZREMOVED", int64_t{0}},
        {"ZSESSIONTYPE", int64_t{chat.group ? 1 : 0}},
        {"ZSPOTLIGHTSTATUS", int64_t{1}},
        {"ZUNREADCOUNT", int64_t{0}},
        {"ZGROUPINFO", chat.group ? Value(chat.groupInfo) : Value()},
        {"ZLASTMESSAGEDATE", static_cast<int64_t>(clock_)},
        {"ZCONTACTJID", chat.jid},
        {"ZETAG", chat.group ? Value(std::string("pn")) : Value()},
        {"ZPARTNERNAME", chat.name},
    };
}

// A group's info row and its members.
bool TrafficWriter::addGroupRows(const Chat& chat) {
    const Row info = {
        {"Z_PK", chat.groupInfo},
        {"Z_ENT", keys_.entity("WAGroupInfo")},
        {"Z_OPT", int64_t{3}},
        {"ZSTATE", int64_t{0}},
        {"ZCHATSESSION", chat.pk},
        {"ZCREATIONDATE", static_cast<int64_t>(clock_) - 86400},
        {"ZSUBJECTTIMESTAMP", static_cast<int64_t>(clock_) - 86400},
        {"ZCREATORJID", chat.members.front().jid},
        {"ZPICTUREID", "+" + base64(random_.hex(24))},
    };
    if (!writer_.insert("ZWAGROUPINFO", info)) {
        return false;
    }
    for (const Member& member : chat.members) {
        const Row row = {
            {"Z_PK", member.pk},
            {"Z_ENT", keys_.entity("WAGroupMember")},
            {"Z_OPT", int64_t{1 + static_cast<int64_t>(random_.below(3))}},
            {"ZCONTACTABID", int64_t{0}},
            {"ZISACTIVE", int64_t{1}},
            {"ZISADMIN", int64_t{member.jid == chat.members.front().jid ? 1 : 0}},
            {"ZCHATSESSION", chat.pk},
            {"ZMEMBERJID", member.jid},
        };
        if (!writer_.insert("ZWAGROUPMEMBER", row)) {
            return false;
        }
    }
    return true;
}

bool TrafficWriter::addPushName(const Chat& chat) {
    return writer_.insert("ZWAPROFILEPUSHNAME", {{"Z_PK", keys_.next("WAProfilePushName")},
                                                 {"Z_ENT", keys_.entity("WAProfilePushName")},
                                                 {"Z_OPT", int64_t{1}},
                                                 {"ZJID", chat.jid},
                                                 {"ZPUSHNAME", chat.name}});
}

bool TrafficWriter::addChats() {
    makeChats();
    if (!writer_.execute("BEGIN")) {
        return false;
    }
    for (const Chat& chat : chats_) {
        if (!writer_.insert("ZWACHATSESSION", sessionRow(chat))) {
            return false;
        }
        if (chat.group ? !addGroupRows(chat) : !addPushName(chat)) {
            return false;
        }
    }
    return keys_.save(writer_) && writer_.execute("COMMIT");
}

// The media item of a picture, video or voice message.
std::optional<int64_t> TrafficWriter::addMediaItem(const Chat& chat, const TrafficMessage& message,
                                                   int type) {
    const int64_t media = keys_.next("WAMediaItem");
    const std::string extension = type == 1 ? ".jpg" : type == 2 ? ".mp4" : ".opus";
    const std::string file = "Media/" + chat.jid + "/" + random_.hex(1) + "/" + random_.hex(1) +
                             "/" + random_.hex(8) + "-" + random_.hex(4) + "-" + random_.hex(4) +
                             extension;
    const Row item = {
        {"Z_PK", media},
        {"Z_ENT", keys_.entity("WAMediaItem")},
        {"Z_OPT", int64_t{2 + static_cast<int64_t>(random_.below(4))}},
        {"ZCLOUDSTATUS", int64_t{4}},
        {"ZFILESIZE", static_cast<int64_t>(20000 + random_.below(3000000))},
        {"ZMEDIAORIGIN", int64_t{0}},
        {"ZMOVIEDURATION", static_cast<int64_t>(type == 1 ? 0 : 3 + random_.below(200))},
        {"ZMESSAGE", message.pk},
        {"ZASPECTRATIO", 0.0},
        {"ZHACCURACY", 0.0},
        {"ZLATITUDE", type == 1 ? 1200.0 : 0.0},
        {"ZLONGITUDE", type == 1 ? 1600.0 : 0.0},
        {"ZMEDIAURLDATE", message.date + 0.3},
        {"ZMEDIALOCALPATH", file},
        {"ZMEDIAURL", "https://mmg.whatsapp.net/v/t62.7118-24/" + random_.hex(32) + ".enc"},
        {"ZTITLE", random_.chance(0.3) ? Value(words(random_, 20, false)) : Value()},
        {"ZXMPPTHUMBPATH", file.substr(0, file.rfind('.')) + ".thumb"},
        {"ZMEDIAKEY", Blob{random_.bytes(32)}},
        {"ZMETADATA", Blob{random_.bytes(100 + random_.below(50))}},
    };
    if (!writer_.insert("ZWAMEDIAITEM", item)) {
        return std::nullopt;
    }
    return media;
}

// Delivery receipts: every sent message has them, some received ones.
std::optional<Value> TrafficWriter::addMessageInfo(const TrafficMessage& message) {
    if (!message.fromMe && !random_.chance(0.3)) {
        return Value();
    }
    const int64_t info = keys_.next("WAMessageInfo");
    const Row row = {{"Z_PK", info},
                     {"Z_ENT", keys_.entity("WAMessageInfo")},
                     {"Z_OPT", int64_t{1 + static_cast<int64_t>(random_.below(4))}},
                     {"ZMESSAGE", message.pk},
                     {"ZRECEIPTINFO", Blob{random_.bytes(20)}}};
    if (!writer_.insert("ZWAMESSAGEINFO", row)) {
        return std::nullopt;
    }
    return Value(info);
}

// The message row as the app fills it (see the real rows: received dates
// whole seconds, sent ones fractional, metadata where the push name was).
Row TrafficWriter::messageRow(Chat& chat, const TrafficMessage& message, const Member* author,
                              int type, const Value& media, const Value& info) {
    const int64_t unix = static_cast<int64_t>(message.date) + kUnixOf2001;
    const Value text = message.text.empty() ? Value() : Value(message.text);
    return {
        {"Z_PK", message.pk},
        {"Z_ENT", keys_.entity("WAMessage")},
        {"Z_OPT",
         static_cast<int64_t>(message.fromMe ? 5 + random_.below(3) : 2 + random_.below(6))},
        {"ZCHILDMESSAGESDELIVEREDCOUNT", int64_t{0}},
        {"ZCHILDMESSAGESPLAYEDCOUNT", int64_t{0}},
        {"ZCHILDMESSAGESREADCOUNT", int64_t{0}},
        {"ZDATAITEMVERSION", int64_t{3}},
        {"ZDOCID", docId_++},
        {"ZENCRETRYCOUNT", int64_t{0}},
        {"ZFILTEREDRECIPIENTCOUNT",
         int64_t{message.fromMe && chat.group ? static_cast<int64_t>(chat.members.size()) - 1 : 0}},
        {"ZFLAGS", int64_t{message.fromMe ? 16777280 : (message.media ? 83886080 : 16777216)}},
        {"ZGROUPEVENTTYPE", int64_t{message.fromMe ? 0 : 2}},
        {"ZISFROMME", int64_t{message.fromMe ? 1 : 0}},
        {"ZMESSAGEERRORSTATUS", int64_t{0}},
        {"ZMESSAGESTATUS", int64_t{message.fromMe ? (random_.chance(0.8) ? 8 : 6) : 8}},
        {"ZMESSAGETYPE", int64_t{type}},
        {"ZSORT", ++chat.sort},
        {"ZSPOTLIGHTSTATUS", int64_t{-32768}},
        {"ZSTARRED", random_.chance(0.02) ? Value(int64_t{1}) : Value()},
        {"ZCHATSESSION", chat.pk},
        {"ZGROUPMEMBER", author ? Value(author->pk) : Value()},
        {"ZMEDIAITEM", media},
        {"ZMESSAGEINFO", info},
        {"ZMESSAGEDATE",
         message.fromMe ? Value(message.date) : Value(static_cast<int64_t>(message.date))},
        {"ZSENTDATE", message.date + (message.fromMe ? 0.05 : -random_.between(0.2, 9))},
        {"ZFROMJID", message.fromMe ? Value() : Value(chat.jid)},
        {"ZMEDIASECTIONID", message.media ? Value(std::string("2023-06")) : Value()},
        {"ZPUSHNAME", metadataOf(unix, message.fromMe ? &chat.jid : nullptr)},
        {"ZSTANZAID", message.stanzaId},
        {"ZTEXT", text},
        {"ZTOJID", message.fromMe ? Value(chat.jid) : Value()},
    };
}

bool TrafficWriter::addMessage(Chat& chat) {
    TrafficMessage message;
    message.pk = keys_.next("WAMessage");
    message.chat = chat.pk;
    message.fromMe = random_.chance(0.45);
    clock_ += 1 + std::floor(random_.between(5, 1500));
    const Member* author = nullptr;
    if (!message.fromMe) {
        author = chat.group ? &chat.members[random_.below(chat.members.size() - 1)] : nullptr;
        message.senderJid = author ? author->jid : chat.jid;
    }
    // Received messages carry the server's whole second, sent ones the
    // phone's clock.
    message.date =
        message.fromMe ? clock_ + 0.001 * static_cast<double>(1 + random_.below(998)) : clock_;
    const int type = random_.chance(0.1) ? static_cast<int>(1 + random_.below(3)) : 0;
    message.media = type != 0;
    if (!message.media) {
        message.text = textOfLength(random_);
        message.overflows = message.text.size() > 4000;
    }
    message.stanzaId =
        message.fromMe || random_.chance(0.5) ? "3A" + random_.hex(18) : "3EB0" + random_.hex(16);
    Value mediaKey;
    if (message.media) {
        const auto media = addMediaItem(chat, message, type);
        if (!media) {
            return false;
        }
        mediaKey = *media;
    }
    const std::optional<Value> info = addMessageInfo(message);
    if (!info ||
        !writer_.insert("ZWAMESSAGE", messageRow(chat, message, author, type, mediaKey, *info))) {
        return false;
    }
    chat.counter++;
    chat.messages.push_back(added_.size());
    byPk_[message.pk] = added_.size();
    added_.push_back(std::move(message));
    gone_.push_back(false);
    return true;
}

// Every save rewrites the sessions it touched: their last message, its
// moment and text, and the counter.
bool TrafficWriter::saveChats(const std::set<size_t>& touched) {
    for (const size_t at : touched) {
        Chat& chat = chats_[at];
        const auto last = std::find_if(chat.messages.rbegin(), chat.messages.rend(),
                                       [&](size_t m) { return !gone_[m]; });
        const TrafficMessage* message = last == chat.messages.rend() ? nullptr : &added_[*last];
        const Row row = {
            {"", message ? Value(message->pk) : Value()},
            {"", message ? Value(static_cast<int64_t>(message->date)) : Value()},
            {"", message && !message->text.empty() ? Value(message->text.substr(0, 100)) : Value()},
            {"", chat.counter},
            {"", chat.pk},
        };
        if (!writer_.run("UPDATE ZWACHATSESSION SET ZLASTMESSAGE = ?, ZLASTMESSAGEDATE = ?, "
                         "ZLASTMESSAGETEXT = ?, ZMESSAGECOUNTER = ?, Z_OPT = Z_OPT + 1 "
                         "WHERE Z_PK = ?",
                         row)) {
            return false;
        }
    }
    return keys_.save(writer_);
}

// Messages arrive in bursts, each burst one save: a transaction of its own.
bool TrafficWriter::addMessages(size_t count, const std::vector<size_t>& chats) {
    size_t added = 0;
    while (added < count) {
        const size_t burst = std::min(count - added, 10 + random_.below(140));
        std::set<size_t> touched;
        if (!writer_.execute("BEGIN")) {
            return false;
        }
        for (size_t i = 0; i < burst; ++i) {
            // A few chats are much busier than the others.
            const size_t pick = random_.below(chats.size() * 2);
            const size_t at =
                chats[pick < chats.size() ? pick : pick % std::min<size_t>(3, chats.size())];
            touched.insert(at);
            if (!addMessage(chats_[at])) {
                return false;
            }
        }
        if (!saveChats(touched) || !writer_.execute("COMMIT")) {
            return false;
        }
        added += burst;
    }
    return true;
}

// The records of rows about to be deleted, read back with their stored
// types, so that what survives can be looked for byte by byte.
bool TrafficWriter::remember(const std::vector<size_t>& messages) {
    SqliteStatement read;
    if (read.prepare(db_, "SELECT * FROM ZWAMESSAGE WHERE Z_PK = ?") != SQLITE_OK) {
        return false;
    }
    for (const size_t at : messages) {
        if (read.bind(1, added_[at].pk) != SQLITE_OK || read.step() != SQLITE_ROW) {
            return false;
        }
        std::vector<Value> values;
        for (int column = 0; column < read.columnCount(); ++column) {
            values.push_back(columnValue(read, column));
        }
        deletedRecords_[at] = recordImageOf(values, realAffinity_, stanzaColumn_);
        (void)read.reset();
    }
    return true;
}

bool TrafficWriter::deleteMessages(const std::vector<size_t>& messages) {
    if (!remember(messages)) {
        return false;
    }
    std::set<size_t> touched;
    for (const size_t at : messages) {
        const Row key = {{"", added_[at].pk}};
        if (!writer_.run("DELETE FROM ZWAMEDIAITEM WHERE ZMESSAGE = ?", key) ||
            !writer_.run("DELETE FROM ZWAMESSAGEINFO WHERE ZMESSAGE = ?", key) ||
            !writer_.run("DELETE FROM ZWAMESSAGE WHERE Z_PK = ?", key)) {
            return false;
        }
        gone_[at] = true;
        for (size_t c = 0; c < chats_.size(); ++c) {
            if (chats_[c].pk == added_[at].chat) {
                touched.insert(c);
            }
        }
    }
    return saveChats(touched);
}

bool TrafficWriter::deleteChat(size_t at) {
    const Chat& chat = chats_[at];
    std::vector<size_t> left;
    std::copy_if(chat.messages.begin(), chat.messages.end(), std::back_inserter(left),
                 [&](size_t m) { return !gone_[m]; });
    if (!writer_.execute("BEGIN") || !deleteMessages(left)) {
        return false;
    }
    const Row key = {{"", chat.pk}};
    if (!writer_.run("DELETE FROM ZWAGROUPMEMBER WHERE ZCHATSESSION = ?", key) ||
        !writer_.run("DELETE FROM ZWAGROUPINFO WHERE ZCHATSESSION = ?", key) ||
        !writer_.run("DELETE FROM ZWACHATSESSION WHERE Z_PK = ?", key)) {
        return false;
    }
    deletedChats_.push_back(chat.pk);
    deletedChatNames_.push_back(chat.name);
    if (chat.group) {
        deletedGroups_.push_back(chat.pk);
    }
    return writer_.execute("COMMIT");
}

std::vector<size_t> TrafficWriter::pickSingles(const std::set<size_t>& spared) {
    std::vector<size_t> singles;
    for (size_t tries = 0; singles.size() < options_.singleDeletes && tries < 100000; ++tries) {
        const size_t at = random_.below(added_.size());
        if (!gone_[at] && !spared.contains(at) &&
            std::find(singles.begin(), singles.end(), at) == singles.end()) {
            singles.push_back(at);
        }
    }
    return singles;
}

// Singles in several saves, runs of a chat's latest messages, and whole
// chats, interleaved as a person would delete over days.
bool TrafficWriter::deleteEverything(std::string* failure) {
    const size_t persons = options_.personChats;
    const size_t wholeChat = persons > 1 ? 1 : 0;
    const size_t wholeGroup = persons;  // the first group
    std::set<size_t> spared;
    for (const size_t at : {wholeChat, wholeGroup}) {
        if (at < chats_.size()) {
            spared.insert(chats_[at].messages.begin(), chats_[at].messages.end());
        }
    }
    const std::vector<size_t> singles = pickSingles(spared);
    const size_t saves = std::max<size_t>(1, options_.runs + 1);
    for (size_t step = 0; step < saves; ++step) {
        std::vector<size_t> some(
            singles.begin() + static_cast<std::ptrdiff_t>(singles.size() * step / saves),
            singles.begin() + static_cast<std::ptrdiff_t>(singles.size() * (step + 1) / saves));
        some.erase(std::remove_if(some.begin(), some.end(), [&](size_t m) { return gone_[m]; }),
                   some.end());
        if (!writer_.execute("BEGIN") || !deleteMessages(some) || !writer_.execute("COMMIT")) {
            *failure = "cannot delete single messages: " + db_.lastError();
            return false;
        }
        if (step == 0 && options_.deleteWholeChat && wholeChat < persons &&
            !deleteChat(wholeChat)) {
            *failure = "cannot delete a whole chat: " + db_.lastError();
            return false;
        }
        if (step == 1 && options_.deleteWholeGroup && options_.groups > 0 &&
            !deleteChat(wholeGroup)) {
            *failure = "cannot delete a whole group: " + db_.lastError();
            return false;
        }
        if (step >= options_.runs) {
            continue;
        }
        // The chat's latest messages, as "clear the last ones" leaves it.
        const size_t at = (2 + step * 2) % chats_.size();
        if (at == wholeChat || at == wholeGroup) {
            continue;
        }
        std::vector<size_t> run;
        for (auto m = chats_[at].messages.rbegin();
             m != chats_[at].messages.rend() && run.size() < options_.runLength; ++m) {
            if (!gone_[*m]) {
                run.push_back(*m);
            }
        }
        if (!writer_.execute("BEGIN") || !deleteMessages(run) || !writer_.execute("COMMIT")) {
            *failure = "cannot delete a run of messages: " + db_.lastError();
            return false;
        }
    }
    return true;
}

TrafficMessage liveRowOf(const SqliteStatement& row) {
    TrafficMessage message;
    message.pk = row.columnInt64(0);
    message.chat = row.columnInt64(1);
    message.fromMe = row.columnInt64(2) == 1;
    message.date = row.columnDouble(3);
    message.text = row.columnText(4).value_or("");
    message.stanzaId = row.columnText(5).value_or("");
    message.media = row.columnType(6) != SQLITE_NULL;
    if (!message.fromMe) {
        message.senderJid = row.columnText(7).value_or(row.columnText(8).value_or(""));
    }
    return message;
}

RealTraffic TrafficWriter::collect(const std::string& databaseFile, const std::string& walFile) {
    RealTraffic traffic;
    traffic.ownerJid = owner_;
    traffic.deletedChats = deletedChats_;
    traffic.deletedChatNames = deletedChatNames_;
    traffic.deletedGroups = deletedGroups_;
    SqliteStatement rows;
    if (rows.prepare(db_,
                     "SELECT m.Z_PK, m.ZCHATSESSION, m.ZISFROMME, m.ZMESSAGEDATE, m.ZTEXT, "
                     "m.ZSTANZAID, m.ZMEDIAITEM, g.ZMEMBERJID, m.ZFROMJID FROM ZWAMESSAGE m "
                     "LEFT JOIN ZWAGROUPMEMBER g ON g.Z_PK = m.ZGROUPMEMBER ORDER BY m.Z_PK") ==
        SQLITE_OK) {
        while (rows.step() == SQLITE_ROW) {
            traffic.live.push_back(liveRowOf(rows));
        }
    }
    const SurvivalCheck check(databaseFile, walFile);
    for (const auto& [at, record] : deletedRecords_) {
        traffic.deleted.push_back(added_[at]);
        traffic.survives.push_back(check.survives(record, added_[at].stanzaId));
    }
    return traffic;
}

std::optional<RealTraffic> fail(std::string* error, const std::string& reason) {
    if (error != nullptr) {
        *error = reason;
    }
    return std::nullopt;
}

}  // namespace

std::optional<RealTraffic> writeRealSchemaTraffic(const std::string& source,
                                                  const std::string& path,
                                                  const std::string& walPath,
                                                  const RealTrafficOptions& options,
                                                  std::string* error) {
    auto scratch = ScratchFolder::create("vessamo-sample-traffic");
    if (!scratch) {
        return fail(error, "cannot create a scratch folder");
    }
    const std::string work = scratch->path() + "/ChatStorage.sqlite";
    std::error_code failed;
    fs::copy_file(source, work, failed);
    if (failed) {
        return fail(error, "cannot copy " + source + ": " + failed.message());
    }
    SqliteDatabase db;
    if (db.open(work, SqliteDatabase::Mode::ReadWrite) != SQLITE_OK) {
        return fail(error, "cannot open the copy of " + source);
    }
    TrafficWriter traffic(db, options);
    std::string failure;
    if (!traffic.prepare(&failure)) {
        return fail(error, failure);
    }
    if (!traffic.addChats()) {
        return fail(error, "cannot add chats: " + db.lastError());
    }
    std::vector<size_t> all(traffic.chats().size());
    for (size_t i = 0; i < all.size(); ++i) {
        all[i] = i;
    }
    if (!traffic.addMessages(options.messages, all)) {
        return fail(error, "cannot add messages: " + db.lastError());
    }
    if (!traffic.deleteEverything(&failure)) {
        return fail(error, failure);
    }
    std::vector<size_t> alive;
    for (size_t i = 0; i < all.size(); ++i) {
        if (i != 1 && i != options.personChats) {
            alive.push_back(i);
        }
    }
    if (!traffic.addMessages(options.laterMessages, alive)) {
        return fail(error, "cannot add later messages: " + db.lastError());
    }
    // A backup copies the files while the app holds the database open: the
    // log has not been folded back.
    fs::copy_file(work, path, fs::copy_options::overwrite_existing, failed);
    if (!failed) {
        fs::copy_file(work + "-wal", walPath, fs::copy_options::overwrite_existing, failed);
    }
    if (failed) {
        return fail(error, "cannot write " + path + ": " + failed.message());
    }
    return traffic.collect(path, walPath);
}

}  // namespace vessamo::sample
