#include "carving/ChatDatabaseFacts.h"

#include <functional>
#include <optional>
#include <string_view>

#include "common/SqliteDatabase.h"

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
        } else if (name == "WAChatSession") {
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
    (void)eachRow(
        db, "SELECT Z_PK, ZMEMBERJID, ZCONTACTNAME FROM ZWAGROUPMEMBER", [&](const auto& row) {
            facts.members.emplace(row.columnInt64(0),
                                  ChatDatabaseFacts::Member{row.columnText(1).value_or(""),
                                                            row.columnText(2).value_or("")});
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

}  // namespace

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
