#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <set>
#include <string>

#include "common/SqliteDatabase.h"
#include "sample/SampleDeletedMessages.h"
#include "support/CliRunner.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

using namespace test;

// The generic mode finds the deleted rows of a database it knows nothing
// about beforehand, each with its table, its values in column order and
// where it lay, and leaves the file as it was: no byte changed, nothing
// written beside it.
TEST(CarveCommand, DeletedRowsOfAnyTableAsJsonAndTheFileUntouched) {
    TempHome home;
    const std::string folder = home.path() + "/db";
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/ChatStorage.sqlite";
    sample::DeletedRowsOptions options;
    options.messages = 1500;
    std::string error;
    const auto written = sample::writeChatStorageWithDeletedRows(path, options, &error);
    ASSERT_TRUE(written) << error;
    const std::string before = readFile(path);

    const CliRun run = runTool(home.path(), {"carve", path, "--table", "ZWAMESSAGE", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(namesIn(folder), std::set<std::string>{"ChatStorage.sqlite"});

    const nlohmann::json json = nlohmann::json::parse(run.out);
    std::set<std::string> texts;
    std::set<std::string> origins;
    for (const auto& record : json.at("records")) {
        EXPECT_EQ(record.at("table"), "ZWAMESSAGE");
        ASSERT_EQ(record.at("values").size(), 34u);
        const auto& text = record.at("values")[32];
        if (text.is_string()) {
            texts.insert(text.get<std::string>());
        }
        origins.insert(record.at("origin").get<std::string>());
    }
    std::set<std::string> live;
    for (const sample::SurvivingRow& row : written->liveRows) {
        live.insert(row.text);
    }
    for (const sample::SurvivingRow& row : written->survivingDeletedRows) {
        if (!row.text.empty()) {
            EXPECT_TRUE(texts.contains(row.text)) << row.pk;
        }
    }
    for (const std::string& text : texts) {
        EXPECT_FALSE(live.contains(text)) << "a live row: " << text;
    }
    EXPECT_TRUE(origins.contains("freeblock"));
    EXPECT_TRUE(origins.contains("freelist"));
}

// A file that is no database, or is damaged past its header, gives a
// clear error or fewer rows; never a crash or a hang. So does a table the
// file does not have.
TEST(CarveCommand, DamagedAndHostileFilesGiveAnErrorOrFewerRows) {
    TempHome home;
    const std::string text = home.path() + "/notes.txt";
    writeFile(text, "just some words, no database here");
    const CliRun notDatabase = runTool(home.path(), {"carve", text, "--json"});
    EXPECT_NE(notDatabase.exitCode, 0);
    EXPECT_TRUE(contains(notDatabase.err, "not an SQLite database")) << notDatabase.err;

    const CliRun missing = runTool(home.path(), {"carve", home.path() + "/none.db"});
    EXPECT_NE(missing.exitCode, 0);

    const std::string path = home.path() + "/ChatStorage.sqlite";
    sample::DeletedRowsOptions options;
    options.messages = 400;
    ASSERT_TRUE(sample::writeChatStorageWithDeletedRows(path, options));
    // A table the file does not have is an error that says so, not an
    // empty answer.
    const CliRun unknown = runTool(home.path(), {"carve", path, "--table", "ZWAMESAGE"});
    EXPECT_NE(unknown.exitCode, 0);
    EXPECT_TRUE(contains(unknown.err, "no table named ZWAMESAGE")) << unknown.err;

    std::string bytes = readFile(path);
    // A free-list trunk that points at itself, and pages of noise.
    bytes[32] = 0;
    bytes[33] = 0;
    bytes[34] = 0;
    bytes[35] = 3;
    for (size_t i = 2 * 4096; i < 3 * 4096; ++i) {
        bytes[i] = static_cast<char>((i * 131) % 251);
    }
    bytes[2 * 4096] = 0;
    bytes[2 * 4096 + 3] = 3;
    writeFile(path, bytes);
    const CliRun damaged = runTool(home.path(), {"carve", path, "--json"});
    EXPECT_TRUE(damaged.exitCode == 0 || !damaged.err.empty());
    if (damaged.exitCode == 0) {
        EXPECT_TRUE(nlohmann::json::parse(damaged.out).contains("records"));
    }
}

// Rows deleted next to each other share one freeblock; each lost its
// first bytes to a link, the inner ones to a link SQLite no longer uses.
// Every such row comes back whole, and no live row is reported.
TEST(CarveCommand, NeighbouringDeletedRowsInOneFreeblockComeBackWhole) {
    TempHome home;
    const std::string path = home.path() + "/readings.db";
    {
        SqliteDatabase db;
        ASSERT_EQ(db.open(path, SqliteDatabase::Mode::Create), SQLITE_OK);
        std::string sql =
            "PRAGMA secure_delete=0; CREATE TABLE readings (id INT NOT NULL, value INT, label "
            "TEXT);";
        for (int i = 1; i <= 20; ++i) {
            sql += "INSERT INTO readings VALUES (" + std::to_string(20000 + i) + ", " +
                   std::to_string(i * 7919111) + ", 'label " + std::to_string(i) + "');";
        }
        sql +=
            "DELETE FROM readings WHERE id = 20001; DELETE FROM readings WHERE id = 20002;"
            "DELETE FROM readings WHERE id = 20007; DELETE FROM readings WHERE id = 20005;"
            "DELETE FROM readings WHERE id = 20006;";
        ASSERT_EQ(db.execute(sql), SQLITE_OK) << db.lastError();
    }
    const CliRun run = runTool(home.path(), {"carve", path, "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const nlohmann::json json = nlohmann::json::parse(run.out);
    std::set<std::string> rows;
    for (const auto& record : json.at("records")) {
        rows.insert(record.at("values").dump());
    }
    std::set<std::string> wanted;
    for (const int i : {1, 2, 5, 6, 7}) {
        wanted.insert(
            nlohmann::json::array({20000 + i, i * 7919111, "label " + std::to_string(i)}).dump());
    }
    EXPECT_EQ(rows, wanted) << run.out;
}

// A dropped table is found by its schema row left in the first page, and
// its rows come back under its own name, not under a live table of the
// same column types, whose live rows stay out.
TEST(CarveCommand, RowsOfADroppedTableComeBackUnderItsName) {
    TempHome home;
    const std::string path = home.path() + "/notes.db";
    {
        SqliteDatabase db;
        ASSERT_EQ(db.open(path, SqliteDatabase::Mode::Create), SQLITE_OK);
        std::string sql =
            "PRAGMA secure_delete=0; CREATE TABLE notes (id INT NOT NULL, body TEXT, score "
            "REAL); CREATE TABLE kept (kid INT NOT NULL, text TEXT, weight REAL);";
        for (int i = 1; i <= 12; ++i) {
            const std::string n = std::to_string(i);
            sql += "INSERT INTO notes VALUES (" + n + "00, 'note " + n + "', " + n + ".25);";
            sql += "INSERT INTO kept VALUES (" + n + "01, 'kept " + n + "', " + n + ".5);";
        }
        // Rows deleted before the drop lost their first bytes to freeblock
        // links, and the page its header to the free list's trunk.
        sql +=
            "DELETE FROM notes WHERE id = 300; DELETE FROM notes WHERE id = 400;"
            "DELETE FROM notes WHERE id = 800; DROP TABLE notes;";
        ASSERT_EQ(db.execute(sql), SQLITE_OK) << db.lastError();
    }
    const CliRun run = runTool(home.path(), {"carve", path, "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const nlohmann::json json = nlohmann::json::parse(run.out);
    std::set<std::string> rows;
    for (const auto& record : json.at("records")) {
        rows.insert(record.at("table").get<std::string>() + record.at("values").dump());
    }
    std::set<std::string> wanted;
    for (int i = 1; i <= 12; ++i) {
        wanted.insert(
            "notes" +
            nlohmann::json::array({i * 100, "note " + std::to_string(i), i + 0.25}).dump());
    }
    EXPECT_EQ(rows, wanted) << run.out;
}

// A row too long for its page keeps its start in the cell and the rest on
// overflow pages; once deleted, the whole row comes back from the chain
// (its pages join a free list that already has a trunk, as in a database
// in use, so their content stays as it was).
TEST(CarveCommand, ADeletedRowLongerThanItsPageComesBackWhole) {
    TempHome home;
    const std::string path = home.path() + "/letters.db";
    std::string letter;
    for (int i = 0; letter.size() < 9000; ++i) {
        letter += "line " + std::to_string(i) + " of a long letter\n";
    }
    {
        SqliteDatabase db;
        ASSERT_EQ(db.open(path, SqliteDatabase::Mode::Create), SQLITE_OK);
        std::string sql =
            "PRAGMA secure_delete=0; CREATE TABLE letters (id INT NOT NULL, sender TEXT, body "
            "TEXT); CREATE TABLE scratch (x); INSERT INTO scratch VALUES (1);";
        for (int i = 1; i <= 3; ++i) {
            sql += "INSERT INTO letters VALUES (" + std::to_string(i) + ", 'sender " +
                   std::to_string(i) + "', '" + std::to_string(i) + letter + "');";
        }
        sql += "DROP TABLE scratch; DELETE FROM letters WHERE id = 2;";
        ASSERT_EQ(db.execute(sql), SQLITE_OK) << db.lastError();
    }
    const CliRun run = runTool(home.path(), {"carve", path, "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const nlohmann::json json = nlohmann::json::parse(run.out);
    ASSERT_EQ(json.at("records").size(), 1u) << run.out;
    const auto& record = json.at("records")[0];
    EXPECT_EQ(record.at("values"), nlohmann::json::array({2, "sender 2", "2" + letter}));
    EXPECT_FALSE(record.at("cut").get<bool>());
}

// A page whose every row was deleted looks empty to SQLite, its header
// reset; the rows freed before the last one still carry their links there
// and come back too.
TEST(CarveCommand, RowsOfAnEmptiedPageComeBackWhole) {
    TempHome home;
    const std::string path = home.path() + "/visits.db";
    {
        SqliteDatabase db;
        ASSERT_EQ(db.open(path, SqliteDatabase::Mode::Create), SQLITE_OK);
        std::string sql =
            "PRAGMA secure_delete=0; CREATE TABLE visits (id INT NOT NULL, place TEXT NOT NULL, "
            "hours REAL);";
        for (int i = 1; i <= 8; ++i) {
            sql += "INSERT INTO visits VALUES (" + std::to_string(300 + i) + ", 'place " +
                   std::to_string(i) + "', " + std::to_string(i) + ".75);";
        }
        for (const int i : {4, 7, 8, 3, 1, 6, 2, 5}) {
            sql += "DELETE FROM visits WHERE id = " + std::to_string(300 + i) + ";";
        }
        ASSERT_EQ(db.execute(sql), SQLITE_OK) << db.lastError();
    }
    const CliRun run = runTool(home.path(), {"carve", path, "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const nlohmann::json json = nlohmann::json::parse(run.out);
    std::set<std::string> rows;
    for (const auto& record : json.at("records")) {
        rows.insert(record.at("values").dump());
    }
    std::set<std::string> wanted;
    for (int i = 1; i <= 8; ++i) {
        wanted.insert(
            nlohmann::json::array({300 + i, "place " + std::to_string(i), i + 0.75}).dump());
    }
    EXPECT_EQ(rows, wanted) << run.out;
}

// What a person running a scan with recovery sees: a chat deleted with
// its messages is listed among the deleted conversations, and every
// recovered message says where it was found.
TEST(CarveCommand, ScanJsonListsADeletedChatAndWhereEachMessageWasFound) {
    TempHome home;
    const std::string backup = home.path() + "/backup";
    ASSERT_TRUE(writeSample(home.path(), backup));
    const std::string chats = backup + "/7c/7c7fba66680ef796b916b067077cc246adacf01d";
    ASSERT_TRUE(std::filesystem::is_regular_file(chats));
    std::filesystem::remove(chats);
    sample::DeletedRowsOptions options;
    options.messages = 900;
    options.deletedChat = 1;
    ASSERT_TRUE(sample::writeChatStorageWithDeletedRows(chats, options));

    const nlohmann::json scan = scanJson(home.path(), {backup, "--deleted"});
    ASSERT_EQ(scan["deletedConversations"].size(), 1u) << scan["deletedConversations"];
    const auto& chat = scan["deletedConversations"][0];
    EXPECT_EQ(chat["id"], 1);
    EXPECT_EQ(chat["number"], "491720007919@s.whatsapp.net");
    EXPECT_TRUE(chat["isRecoveredOnly"].get<bool>());
    EXPECT_GT(chat["messageCount"].get<int>(), 0);
    size_t recovered = 0;
    for (const auto& conversation : scan["recoveredConversations"]) {
        for (const auto& message : conversation["messages"]) {
            ++recovered;
            const std::string origin = message["origin"];
            EXPECT_TRUE(origin == "freeblock" || origin == "unallocated" || origin == "freelist" ||
                        origin == "interior" || origin.starts_with("wal frame"))
                << origin;
        }
    }
    EXPECT_GT(recovered, 0u);
}

}  // namespace
}  // namespace vessamo
