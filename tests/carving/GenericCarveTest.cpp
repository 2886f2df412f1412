#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "common/SqliteDatabase.h"
#include "support/CliRunner.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

using namespace test;

// A row of the kind an examiner meets in any application's database, and
// the record SQLite writes for it less the bytes a freeblock link may take
// (header length, column 0's type): while that tail is in the file,
// nothing of the row is lost. Names stay short (one-byte serial types),
// ids are in the thousands (two bytes) and codes need four bytes.
struct Person {
    int64_t id = 0;
    std::string name;
    std::optional<std::string> surname;
    int64_t code = 0;
    double score = 0;

    [[nodiscard]] std::string json() const {
        return nlohmann::json::array(
                   {id, name, surname ? nlohmann::json(*surname) : nlohmann::json(), code, score})
            .dump();
    }
    [[nodiscard]] std::string sql() const {
        char text[160];
        std::snprintf(text, sizeof text, "(%lld, '%s', %s%s%s, %lld, %.17g)",
                      static_cast<long long>(id), name.c_str(), surname ? "'" : "",
                      surname ? surname->c_str() : "NULL", surname ? "'" : "",
                      static_cast<long long>(code), score);
        return text;
    }
    [[nodiscard]] std::string recordTail() const {
        std::string types{static_cast<char>(13 + 2 * name.size())};
        types += surname ? static_cast<char>(13 + 2 * surname->size()) : '\0';
        types += "\4\7";
        return types + bigEndian(id, 2) + name + surname.value_or("") + bigEndian(code, 4) +
               bigEndian(static_cast<int64_t>(std::bit_cast<uint64_t>(score)), 8);
    }
    static std::string bigEndian(int64_t value, int bytes) {
        std::string out;
        for (int i = bytes - 1; i >= 0; --i) {
            out += static_cast<char>(static_cast<uint64_t>(value) >> (8 * i));
        }
        return out;
    }
};

// Deterministic names, codes and scores, so a failure can be replayed.
class People {
public:
    explicit People(uint64_t seed) : state_(seed) {}

    Person next(int64_t id) {
        static constexpr const char* kSyllables[] = {"an",  "ber", "ta",  "li",  "mo", "ra",
                                                     "ste", "fan", "wag", "ner", "ko", "ch"};
        const auto word = [&](size_t parts) {
            std::string text;
            for (size_t i = 0; i < parts; ++i) {
                text += kSyllables[draw() % std::size(kSyllables)];
            }
            text[0] = static_cast<char>(text[0] - 'a' + 'A');
            return text;
        };
        Person person{id, word(2 + draw() % 3), std::nullopt, 0, 0};
        if (draw() % 5 != 0) {
            person.surname = word(1 + draw() % 4);
        }
        person.code = static_cast<int32_t>(draw() | 0x1000000);
        person.score = (static_cast<double>(draw() % 10000000) - 5e6) * 997.0 + 0.125 +
                       static_cast<double>(draw() % 1000) / 1024.0;
        return person;
    }

    uint64_t draw() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return state_ >> 33;
    }

private:
    uint64_t state_;
};

std::set<std::string> carvedValues(const CliRun& run) {
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::set<std::string> rows;
    const nlohmann::json json = nlohmann::json::parse(run.out, nullptr, false);
    for (const auto& record : json.is_object() ? json.at("records") : nlohmann::json::array()) {
        rows.insert(record.at("values").dump());
    }
    return rows;
}

struct Outcome {
    std::vector<Person> live;
    std::vector<Person> deleted;
};

// Rows inserted, deleted in a jumbled order over several statements, and
// new rows written over part of their room, as a database in use sees.
Outcome deleteAndReuse(const std::string& path, const std::string& table, uint64_t seed, int rows) {
    People people(seed);
    SqliteDatabase db;
    EXPECT_EQ(db.open(path, SqliteDatabase::Mode::Create), SQLITE_OK);
    std::string sql =
        "PRAGMA secure_delete=0; PRAGMA synchronous=OFF; CREATE TABLE IF NOT EXISTS " + table +
        " (id INT NOT NULL, name TEXT NOT NULL, surname TEXT, code INT, score REAL);";
    std::vector<Person> all;
    for (int i = 1; i <= rows; ++i) {
        all.push_back(people.next(seed * 1000 + i));
        sql += "INSERT INTO " + table + " VALUES " + all.back().sql() + ";";
    }
    Outcome outcome;
    std::vector<Person> order = all;
    for (size_t i = order.size(); i > 1; --i) {
        std::swap(order[i - 1], order[people.draw() % i]);
    }
    for (size_t i = 0; i < order.size(); ++i) {
        if (i % 5 < 2) {
            sql += "DELETE FROM " + table + " WHERE id = " + std::to_string(order[i].id) + ";";
            outcome.deleted.push_back(order[i]);
        } else {
            outcome.live.push_back(order[i]);
        }
        if (i % 7 == 6) {  // a new row takes some of the room just freed
            outcome.live.push_back(people.next(seed * 1000 + rows + static_cast<int64_t>(i)));
            sql += "INSERT INTO " + table + " VALUES " + outcome.live.back().sql() + ";";
        }
    }
    EXPECT_EQ(db.execute(sql), SQLITE_OK) << db.lastError();
    return outcome;
}

// Rows deleted in any order, partly written over by new rows: each deleted
// row whose record is still in the file comes back with exactly its
// values, whether the freeblock link took its first bytes, it shares a
// freeblock with its neighbours, lies in a page's gap, or a newer row took
// the end of its freeblock; no live row (of its table or of one alike) and
// nothing made up comes back. The file is named as a person in its folder
// would, relative to the working folder.
TEST(GenericCarve, EveryDeletedRowStillInTheFileComesBackExactlyAndNothingElse) {
    TempHome home;
    const std::string path = home.path() + "/people.db";
    std::vector<Person> live;
    std::vector<Person> deleted;
    for (const auto& [table, seed, rows] :
         {std::tuple("people", 7, 90), std::tuple("staff", 8, 40), std::tuple("guests", 11, 24),
          std::tuple("people", 9, 60)}) {
        Outcome outcome = deleteAndReuse(path, table, seed, rows);
        live.insert(live.end(), outcome.live.begin(), outcome.live.end());
        deleted.insert(deleted.end(), outcome.deleted.begin(), outcome.deleted.end());
    }
    const std::string bytes = readFile(path);
    const std::string relative = std::filesystem::relative(path).string();
    const std::set<std::string> carved =
        carvedValues(runTool(home.path(), {"carve", relative, "--json"}));
    std::set<std::string> wanted;
    std::set<std::string> allowed;
    for (const Person& person : deleted) {
        allowed.insert(person.json());
        if (bytes.find(person.recordTail()) != std::string::npos) {
            wanted.insert(person.json());
        }
    }
    ASSERT_GT(wanted.size(), deleted.size() / 4);  // the scenario leaves rows in place
    for (const std::string& row : wanted) {
        EXPECT_TRUE(carved.contains(row)) << "missed " << row;
    }
    for (const std::string& row : carved) {
        EXPECT_TRUE(allowed.contains(row)) << "not a deleted row: " << row;
    }
    for (const Person& person : live) {
        EXPECT_NE(bytes.find(person.recordTail()), std::string::npos);  // the tail is right
        EXPECT_FALSE(carved.contains(person.json())) << "a live row";
    }
}

// A database in write-ahead-log mode keeps older images of its pages in
// the log, every row on them as it was then. Rows deleted after several
// commits come back from there and from the file, each as it was written;
// the rows the images hold whole (live ones among them) are not read from
// anywhere in their middle.
TEST(GenericCarve, OlderPageImagesInTheLogGiveRowsAsTheyWereAndNoMiddleOfARow) {
    TempHome home;
    const std::string path = home.path() + "/journal.db";
    const std::string kept = home.path() + "/kept.db";
    People people(21);
    std::vector<Person> rows;
    std::vector<std::string> statements = {
        "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; PRAGMA secure_delete=0;"
        "CREATE TABLE people (id INT NOT NULL, name TEXT NOT NULL, surname TEXT, code INT, "
        "score REAL);"};
    for (int i = 1; i <= 120; ++i) {  // a commit, and so a page image, every few rows
        rows.push_back(people.next(1000 + i));
        statements.push_back("INSERT INTO people VALUES " + rows.back().sql() + ";");
    }
    for (size_t i = 0; i < rows.size(); i += 3) {
        statements.push_back("DELETE FROM people WHERE id = " + std::to_string(rows[i].id) + ";");
    }
    {
        SqliteDatabase db;
        ASSERT_EQ(db.open(path, SqliteDatabase::Mode::Create), SQLITE_OK);
        for (const std::string& statement : statements) {
            ASSERT_EQ(db.execute(statement), SQLITE_OK) << db.lastError();
        }
        // Closing would fold the log into the file; the files are taken as
        // a device leaves them, with the log beside.
        writeFile(kept, readFile(path));
        writeFile(kept + "-wal", readFile(path + "-wal"));
    }
    const std::set<std::string> carved =
        carvedValues(runTool(home.path(), {"carve", kept, "--json"}));
    std::set<std::string> deleted;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i % 3 == 0) {
            deleted.insert(rows[i].json());
        }
        EXPECT_EQ(carved.contains(rows[i].json()), i % 3 == 0) << rows[i].json();
    }
    for (const std::string& row : carved) {
        EXPECT_TRUE(deleted.contains(row)) << "not a deleted row: " << row;
    }
}

// A deleted row whose cell header survived gets back its own id (the
// integer primary key SQLite keeps in that header), even when the row
// freed before it ends in bytes that read as the start of a longer number.
TEST(GenericCarve, ADeletedRowGetsItsIdBackFromItsCellHeader) {
    TempHome home;
    const std::string path = home.path() + "/marks.db";
    {
        SqliteDatabase db;
        ASSERT_EQ(db.open(path, SqliteDatabase::Mode::Create), SQLITE_OK);
        std::string sql =
            "PRAGMA secure_delete=0; CREATE TABLE marks (id INTEGER PRIMARY KEY, label TEXT NOT "
            "NULL, mark INT);";
        for (int i = 1; i <= 8; ++i) {
            sql += "INSERT INTO marks VALUES (" + std::to_string(i) + ", 'label " +
                   std::to_string(i) + "', -1);";
        }
        // Row 5 lies just in front of row 4 and ends in 0xff; freed first,
        // it heads the freeblock row 4 then joins, whose header stays whole.
        sql += "DELETE FROM marks WHERE id = 5; DELETE FROM marks WHERE id = 4;";
        ASSERT_EQ(db.execute(sql), SQLITE_OK) << db.lastError();
    }
    const std::set<std::string> rows =
        carvedValues(runTool(home.path(), {"carve", path, "--json"}));
    EXPECT_TRUE(rows.contains(nlohmann::json::array({4, "label 4", -1}).dump()));
    EXPECT_EQ(rows.size(), 2u);  // and row 5, whose header the link took
}

}  // namespace
}  // namespace vessamo
