#include "carving/ChatDatabaseFacts.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "carving/CarvingPrimitives.h"
#include "carving/MemberAddressIndex.h"
#include "carving/PageMap.h"
#include "carving/SchemaCarver.h"
#include "common/SqliteDatabase.h"
#include "common/TextConversion.h"

namespace vessamo {

namespace {

// Runs a query and hands each row over; false when it could not run.
bool eachRow(const SqliteDatabase& db, std::string_view sql,
             const std::function<void(const SqliteStatement&)>& row) {
    SqliteStatement statement;
    if (statement.prepare(db, sql) != SQLITE_OK) {
        return false;
    }
    int step = SQLITE_ROW;
    while ((step = statement.step()) == SQLITE_ROW) {
        row(statement);
    }
    return step == SQLITE_DONE;
}

void readKeys(const SqliteDatabase& db, ChatDatabaseFacts& facts) {
    (void)eachRow(db, "SELECT Z_NAME, Z_ENT, Z_MAX FROM Z_PRIMARYKEY", [&](const auto& row) {
        const std::string name = row.columnText(0).value_or("");
        if (name == "WAMessage") {
            facts.context.messageEntity = row.columnInt64(1);
        } else if (name == "WAGroupMember") {
            facts.memberEntity = row.columnInt64(1);
            facts.largestMemberKey = row.columnInt64(2);
        } else if (name == "WAChatSession") {
            facts.chatEntity = row.columnInt64(1);
            facts.context.largestChatKey = row.columnInt64(2);
        }
    });
}

void readChats(const SqliteDatabase& db, ChatDatabaseFacts& facts) {
    std::unordered_set<int64_t> chats;
    const bool ok =
        eachRow(db, "SELECT Z_PK, ZCONTACTJID FROM ZWACHATSESSION", [&](const auto& row) {
            chats.insert(row.columnInt64(0));
            facts.chatAddresses.emplace(row.columnInt64(0), row.columnText(1).value_or(""));
        });
    if (ok) {
        facts.context.chats = std::move(chats);
    }
}

void readMembers(const SqliteDatabase& db, ChatDatabaseFacts& facts) {
    (void)eachRow(db, "SELECT Z_PK, ZMEMBERJID, ZCONTACTNAME, ZCHATSESSION FROM ZWAGROUPMEMBER",
                  [&](const auto& row) {
                      facts.members.emplace(row.columnInt64(0), ChatDatabaseFacts::Member{
                                                                    row.columnText(1).value_or(""),
                                                                    row.columnText(2).value_or(""),
                                                                    row.columnInt64(3)});
                  });
}

// A text column as SQLite holds it for the current row: no copy is made,
// and it is gone with the next step. "" for NULL.
std::string_view textInPlace(const SqliteStatement& row, int column) {
    const unsigned char* text = sqlite3_column_text(row.handle(), column);
    const int length = sqlite3_column_bytes(row.handle(), column);
    return text != nullptr
               ? std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(length))
               : std::string_view();
}

void readMessageTable(const SqliteDatabase& db, ChatDatabaseFacts& facts) {
    size_t columns = 0;
    bool hasStanza = false;
    (void)eachRow(db, "PRAGMA table_info(ZWAMESSAGE)", [&](const auto& row) {
        ++columns;
        hasStanza = hasStanza || row.columnText(1).value_or("") == "ZSTANZAID";
    });
    if (columns == 0) {
        return;
    }
    facts.context.messageColumnCount = columns;
    // One pass, the ids read in place: a chat database has millions of rows.
    (void)eachRow(
        db,
        hasStanza ? "SELECT Z_PK, ZSTANZAID FROM ZWAMESSAGE" : "SELECT Z_PK, NULL FROM ZWAMESSAGE",
        [&](const SqliteStatement& row) {
            facts.liveMessages.add(row.columnInt64(0), textInPlace(row, 1));
        });
    facts.liveMessages.seal();
}

// Where the member table keeps what identifies a member.
struct MemberColumns {
    int entity = -1;
    int chat = -1;
    int jid = -1;
    int name = -1;
};

std::optional<MemberColumns> memberColumnsOf(const TableSchema& table) {
    MemberColumns columns;
    for (size_t at = 0; at < table.columns.size(); ++at) {
        const std::string& name = table.columns[at];
        const int column = static_cast<int>(at);
        columns.entity = name == "Z_ENT" ? column : columns.entity;
        columns.chat = name == "ZCHATSESSION" ? column : columns.chat;
        columns.jid = name == "ZMEMBERJID" ? column : columns.jid;
        columns.name = name == "ZCONTACTNAME" ? column : columns.name;
    }
    if (columns.entity < 0 || columns.chat < 0 || columns.jid < 0 || !table.rowidAlias) {
        return std::nullopt;
    }
    return columns;
}

// A carved member record: the entity of members, a key once given out (0
// when the cell header is gone), a chat key and a WhatsApp address.
std::optional<std::pair<int64_t, ChatDatabaseFacts::Member>> carvedMemberOf(
    const FoundRecord& found, const MemberColumns& columns, std::optional<int64_t> entity,
    std::optional<int64_t> largestKey) {
    const SerialRecord& record = found.record;
    const auto field = [&](int column) -> const SerialField& {
        return record.fields[static_cast<size_t>(column)];
    };
    const int64_t key = found.rowid.value_or(0);
    if ((found.rowid && key < 1) || (largestKey && key > *largestKey) ||
        !field(columns.entity).isInteger() || !field(columns.chat).isInteger() ||
        !field(columns.jid).isText() || record.cut) {
        return std::nullopt;
    }
    const int64_t ent = record.integer(found.bytes, static_cast<size_t>(columns.entity));
    const int64_t chat = record.integer(found.bytes, static_cast<size_t>(columns.chat));
    const std::string_view jid = record.text(found.bytes, static_cast<size_t>(columns.jid));
    if ((entity && ent != *entity) || chat < 1 || !isWhatsAppAddress(jid)) {
        return std::nullopt;
    }
    ChatDatabaseFacts::Member member{std::string(jid), {}, chat};
    if (columns.name >= 0 && field(columns.name).isText()) {
        member.name = record.text(found.bytes, static_cast<size_t>(columns.name));
    }
    return std::pair{key, std::move(member)};
}

// Carves a table's records where its rows can be: its own pages, the pages
// freed since, and those pages' older images; the rest of the file is not
// read.
void carveTablePages(const TableSchema& table, const CarvingFile& copy, const CarvingFile* wal,
                     const CarvingFile* original, const SchemaCarver::Check& take) {
    SchemaCarver carver(table);
    const uint32_t pageSize = readPageSize(&copy);
    uint8_t reserved = 0;
    copy.readAt(20, &reserved, 1);
    const size_t usable = pageSize > reserved ? pageSize - reserved : pageSize;
    std::unordered_set<uint64_t> pages =
        freelistPages(copy, pageSize, pageCount(copy.size(), pageSize));
    for (const uint64_t page : treePages(copy, table.rootPage)) {
        pages.insert(page);
    }
    carver.onlyPages([&pages](uint64_t page) { return pages.contains(page); });
    // What a later row of the same page image took is not this row's.
    const SchemaCarver::Check intact = [&](const FoundRecord& found) {
        if (isWholeImage(found.place.origin) && found.bytes.size() == usable &&
            overwrittenInImage(found.bytes, usable, found.record)) {
            return false;
        }
        return take(found);
    };
    carver.carve(copy, wal, intact);
    if (wal != nullptr && original != nullptr) {
        carver.carveReplaced(*original, *wal, intact);
    }
}

int columnNamed(const TableSchema& table, std::string_view name) {
    const auto at = std::find(table.columns.begin(), table.columns.end(), name);
    return at == table.columns.end() ? -1 : static_cast<int>(at - table.columns.begin());
}

// A name as the app stores it: readable text without control bytes.
bool isStoredName(std::string_view name) {
    return !name.empty() && isValidUtf8(name) && std::none_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20;
    });
}

}  // namespace

void ChatDatabaseFacts::recoverChatNames(const std::string& databaseCopy, const CarvingFile& copy,
                                         const CarvingFile* wal, const CarvingFile* original) {
    std::unordered_set<std::string> live;
    for (const auto& [key, address] : chatAddresses) {
        live.insert(address);
    }
    std::unordered_set<std::string> ambiguous;
    for (const TableSchema& table : readTableSchemas(databaseCopy)) {
        const int entity = columnNamed(table, "Z_ENT");
        const int jid = columnNamed(table, "ZCONTACTJID");
        const int name = columnNamed(table, "ZPARTNERNAME");
        if (table.name != "ZWACHATSESSION" || entity < 0 || jid < 0 || name < 0) {
            continue;
        }
        const auto field = [](const FoundRecord& found, int column) -> const SerialField& {
            return found.record.fields[static_cast<size_t>(column)];
        };
        carveTablePages(table, copy, wal, original, [&](const FoundRecord& found) {
            const auto text = [&](int column) {
                return found.record.text(found.bytes, static_cast<size_t>(column));
            };
            if (found.record.cut || !field(found, entity).isInteger() ||
                (chatEntity &&
                 found.record.integer(found.bytes, static_cast<size_t>(entity)) != *chatEntity) ||
                !field(found, jid).isText() || !field(found, name).isText() ||
                !isWhatsAppAddress(text(jid)) || !isStoredName(text(name)) ||
                live.contains(std::string(text(jid)))) {
                return false;
            }
            const auto [at, added] =
                deletedChatNames.emplace(std::string(text(jid)), std::string(text(name)));
            if (!added && at->second != text(name)) {
                ambiguous.insert(at->first);
            }
            return true;
        });
    }
    for (const std::string& address : ambiguous) {
        deletedChatNames.erase(address);
    }
}

const ChatDatabaseFacts::Member* ChatDatabaseFacts::memberOf(int64_t key, int64_t chat) const {
    if (const auto live = members.find(key); live != members.end()) {
        return &live->second;
    }
    const auto deleted = deletedMembers.find(key);
    return deleted != deletedMembers.end() && deleted->second.chat == chat ? &deleted->second
                                                                           : nullptr;
}

void ChatDatabaseFacts::recoverMembers(const std::string& databaseCopy, const CarvingFile& copy,
                                       const CarvingFile* wal, const CarvingFile* original) {
    for (const TableSchema& table : readTableSchemas(databaseCopy)) {
        const auto columns = table.name == "ZWAGROUPMEMBER" ? memberColumnsOf(table) : std::nullopt;
        if (!columns) {
            continue;
        }
        std::unordered_set<int64_t> ambiguous;
        std::unordered_map<std::string, std::set<int64_t>> unkeyed;  // address -> chats
        const SchemaCarver::Check take = [&](const FoundRecord& found) {
            auto member = carvedMemberOf(found, *columns, memberEntity, largestMemberKey);
            if (!member || members.contains(member->first)) {
                return false;
            }
            if (member->first == 0) {
                unkeyed[member->second.jid].insert(member->second.chat);
                return true;
            }
            const auto [at, added] = deletedMembers.emplace(member->first, member->second);
            if (!added &&
                (at->second.jid != member->second.jid || at->second.chat != member->second.chat)) {
                ambiguous.insert(member->first);
            }
            return true;
        };
        carveTablePages(table, copy, wal, original, take);
        for (const int64_t key : ambiguous) {
            deletedMembers.erase(key);
        }
        keyByAddress(databaseCopy, copy, wal, original, unkeyed);
    }
}

// Members whose rows lost their key are given the key the address index
// still pairs with their address, when that is one key no live member has
// and the address was in one chat only: anything else could name the wrong
// author.
void ChatDatabaseFacts::keyByAddress(
    const std::string& databaseCopy, const CarvingFile& copy, const CarvingFile* wal,
    const CarvingFile* original,
    const std::unordered_map<std::string, std::set<int64_t>>& unkeyed) {
    std::unordered_set<std::string> addresses;
    for (const auto& [address, chats] : unkeyed) {
        if (chats.size() == 1) {
            addresses.insert(address);
        }
    }
    std::unordered_map<std::string, std::set<int64_t>> keys;
    for (const auto& [address, key] :
         memberKeysByAddress(databaseCopy, copy, wal, original, addresses)) {
        if (!members.contains(key) && (!largestMemberKey || key <= *largestMemberKey)) {
            keys[address].insert(key);
        }
    }
    for (const auto& [address, found] : keys) {
        if (found.size() == 1 && !deletedMembers.contains(*found.begin())) {
            deletedMembers.emplace(*found.begin(),
                                   Member{address, {}, *unkeyed.at(address).begin()});
        }
    }
}

ChatDatabaseFacts ChatDatabaseFacts::of(const std::string& databaseCopy) {
    ChatDatabaseFacts facts;
    SqliteDatabase db;
    if (db.open(databaseCopy, SqliteDatabase::Mode::ReadOnly) != SQLITE_OK) {
        return facts;
    }
    facts.read = true;
    readKeys(db, facts);
    readChats(db, facts);
    readMembers(db, facts);
    readMessageTable(db, facts);
    return facts;
}

}  // namespace vessamo
