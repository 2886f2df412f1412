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

// A row of the kind an examiner meets in any application's database.
struct Person {
    int64_t id = 0;
    std::string name;
    std::optional<std::string> surname;
    int64_t code = 0;
    double score = 0;

    [[nodiscard]] nlohmann::json asJson() const {
        return nlohmann::json::array(
            {id, name, surname ? nlohmann::json(*surname) : nlohmann::json(), code, score});
    }
    [[nodiscard]] std::string asSql() const {
        char score17[40];
        std::snprintf(score17, sizeof score17, "%.17g", score);
        std::string sql = "(";
        sql.append(std::to_string(id)).append(", '").append(name).append("', ");
        sql.append(surname ? "'" + *surname + "'" : std::string("NULL")).append(", ");
        sql.append(std::to_string(code)).append(", ").append(score17).append(")");
        return sql;
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
        Person person;
        person.id = id;
        person.name = word(2 + draw() % 3);
        if (draw() % 5 != 0) {
            person.surname = word(1 + draw() % 4);
        }
        person.code = static_cast<int32_t>(draw());
        person.score = (static_cast<double>(draw() % 10000000) - 5000000.0) * 997.0 + 0.125 +
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

void appendVarint(std::string& out, uint64_t value) {
    char bytes[10];
    size_t first = sizeof bytes - 1;
    bytes[first] = static_cast<char>(value & 0x7f);
    for (value >>= 7; value != 0; value >>= 7) {
        bytes[--first] = static_cast<char>(0x80 | (value & 0x7f));
    }
    out.append(bytes + first, bytes + sizeof bytes);
}

void appendInteger(std::string& types, std::string& content, int64_t value) {
    if (value == 0 || value == 1) {
        types += static_cast<char>(8 + value);
        return;
    }
    static constexpr std::pair<uint8_t, int> kSizes[] = {{1, 1}, {2, 2}, {3, 3},
                                                         {4, 4}, {5, 6}, {6, 8}};
    for (const auto& [type, bytes] : kSizes) {
        const int64_t limit = bytes == 8 ? INT64_MAX : (int64_t{1} << (8 * bytes - 1)) - 1;
        if (value <= limit && value >= -limit - 1) {
            types += static_cast<char>(type);
            for (int i = bytes - 1; i >= 0; --i) {
                content += static_cast<char>((static_cast<uint64_t>(value) >> (8 * i)) & 0xff);
            }
            return;
        }
    }
}

// The record SQLite writes for a row, less the bytes a freeblock link may
// have overwritten (its header length and column 0's type): while these
// bytes are in the file, nothing else of the row is lost.
std::string survivingRecordTail(const Person& person) {
    std::string types;
    std::string content;
    appendInteger(types, content, person.id);
    types.clear();  // column 0's type is the one a link covers
    appendVarint(types, 13 + 2 * person.name.size());
    content += person.name;
    if (person.surname) {
        appendVarint(types, 13 + 2 * person.surname->size());
        content += *person.surname;
    } else {
        types += '\0';
    }
    appendInteger(types, content, person.code);
    types += '\7';
    const auto bits = std::bit_cast<uint64_t>(person.score);
    for (int i = 7; i >= 0; --i) {
        content += static_cast<char>((bits >> (8 * i)) & 0xff);
    }
    return types + content;
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
        sql += "INSERT INTO " + table + " VALUES " + all.back().asSql() + ";";
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
            sql += "INSERT INTO " + table + " VALUES " + outcome.live.back().asSql() + ";";
        }
    }
    EXPECT_EQ(db.execute(sql), SQLITE_OK) << db.lastError();
    return outcome;
}

// Rows deleted in any order, partly written over by new rows: each deleted
// row whose record is still in the file comes back with exactly its
// values, whether the freeblock link took its first bytes, it shares a
// freeblock with its neighbours, lies in a page's gap, or a newer row took
// the end of its freeblock; no live row and nothing made up comes back.
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

    const CliRun run = runTool(home.path(), {"carve", path, "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const nlohmann::json json = nlohmann::json::parse(run.out);
    std::set<std::string> carved;
    for (const auto& record : json.at("records")) {
        carved.insert(record.at("values").dump());
    }
    std::set<std::string> wanted;
    std::set<std::string> allowed;
    for (const Person& person : deleted) {
        allowed.insert(person.asJson().dump());
        if (bytes.find(survivingRecordTail(person)) != std::string::npos) {
            wanted.insert(person.asJson().dump());
        }
    }
    // The scenario leaves a good part of the deleted rows in place.
    ASSERT_GT(wanted.size(), deleted.size() / 4);
    for (const std::string& row : wanted) {
        EXPECT_TRUE(carved.contains(row)) << "missed " << row;
    }
    for (const std::string& row : carved) {
        EXPECT_TRUE(allowed.contains(row)) << "not a deleted row: " << row;
    }
    for (const Person& person : live) {
        // Every live row's record is in the file as this test writes it.
        EXPECT_NE(bytes.find(survivingRecordTail(person)), std::string::npos);
        EXPECT_FALSE(carved.contains(person.asJson().dump())) << "a live row";
    }
}

// A database in write-ahead-log mode keeps older images of its pages in
// the log, every row on them as it was then. What comes back from there is
// a version of a row the table really held (an older one of a live row,
// the last one of a deleted row), never a reading of bytes in the middle
// of a row and never the live row itself.
TEST(GenericCarve, OlderPageImagesInTheLogGiveRowsAsTheyWereAndNoMiddleOfARow) {
    TempHome home;
    const std::string path = home.path() + "/journal.db";
    const std::string kept = home.path() + "/kept.db";
    People people(21);
    std::set<std::string> written;  // every version of every row
    std::set<std::string> deletedLast;
    std::vector<Person> rows;
    {
        SqliteDatabase db;
        ASSERT_EQ(db.open(path, SqliteDatabase::Mode::Create), SQLITE_OK);
        std::string sql =
            "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; PRAGMA secure_delete=0;"
            "CREATE TABLE people (id INT NOT NULL, name TEXT NOT NULL, surname TEXT, code INT, "
            "score REAL);";
        for (int i = 1; i <= 50; ++i) {
            rows.push_back(people.next(i));
            written.insert(rows.back().asJson().dump());
            sql += "INSERT INTO people VALUES " + rows.back().asSql() + ";";
        }
        ASSERT_EQ(db.execute(sql), SQLITE_OK) << db.lastError();
        for (int round = 0; round < 3; ++round) {
            sql.clear();
            for (Person& row : rows) {
                if (people.draw() % 3 == 0) {
                    const Person changed = people.next(row.id);
                    sql += "DELETE FROM people WHERE id = " + std::to_string(row.id) +
                           "; INSERT INTO people VALUES " + changed.asSql() + ";";
                    row = changed;
                    written.insert(row.asJson().dump());
                }
            }
            ASSERT_EQ(db.execute(sql), SQLITE_OK) << db.lastError();
        }
        sql.clear();
        for (size_t i = 0; i < rows.size(); i += 4) {
            sql += "DELETE FROM people WHERE id = " + std::to_string(rows[i].id) + ";";
            deletedLast.insert(rows[i].asJson().dump());
        }
        ASSERT_EQ(db.execute(sql), SQLITE_OK) << db.lastError();
        // Closing would fold the log into the file; the files are taken as
        // a device leaves them, with the log beside.
        writeFile(kept, readFile(path));
        writeFile(kept + "-wal", readFile(path + "-wal"));
    }
    const CliRun run = runTool(home.path(), {"carve", kept, "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const nlohmann::json json = nlohmann::json::parse(run.out);
    std::set<std::string> carved;
    for (const auto& record : json.at("records")) {
        const std::string values = record.at("values").dump();
        EXPECT_TRUE(written.contains(values)) << "never written: " << values;
        carved.insert(values);
    }
    for (const Person& row : rows) {
        if (!deletedLast.contains(row.asJson().dump())) {
            EXPECT_FALSE(carved.contains(row.asJson().dump())) << "a live row";
        }
    }
    for (const std::string& row : deletedLast) {
        EXPECT_TRUE(carved.contains(row)) << "missed " << row;
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
    const CliRun run = runTool(home.path(), {"carve", path, "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const nlohmann::json json = nlohmann::json::parse(run.out);
    std::set<std::string> rows;
    for (const auto& record : json.at("records")) {
        rows.insert(record.at("values").dump());
    }
    EXPECT_TRUE(rows.contains(nlohmann::json::array({4, "label 4", -1}).dump())) << run.out;
    EXPECT_EQ(rows.size(), 2u) << run.out;  // and row 5, whose header the link took
}

// What a person types: a file named relative to the working folder is
// carved like any other; a table the file does not have is an error that
// says so, not an empty answer.
TEST(GenericCarve, ARelativeFileNameWorksAndAnUnknownTableIsAnError) {
    TempHome home;
    const std::string path = home.path() + "/visits.db";
    {
        SqliteDatabase db;
        ASSERT_EQ(db.open(path, SqliteDatabase::Mode::Create), SQLITE_OK);
        ASSERT_EQ(db.execute("PRAGMA secure_delete=0; CREATE TABLE visits (place TEXT, hours "
                             "REAL); INSERT INTO visits VALUES ('harbour', 2.5), ('market', 1.25);"
                             "DELETE FROM visits WHERE place = 'harbour';"),
                  SQLITE_OK);
    }
    const std::string relative = std::filesystem::relative(path).string();
    ASSERT_FALSE(std::filesystem::path(relative).is_absolute());
    const CliRun run = runTool(home.path(), {"carve", relative, "--table", "visits", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const nlohmann::json json = nlohmann::json::parse(run.out);
    ASSERT_EQ(json.at("records").size(), 1u) << run.out;
    EXPECT_EQ(json.at("records")[0].at("values"), nlohmann::json::array({"harbour", 2.5}));

    const CliRun unknown = runTool(home.path(), {"carve", path, "--table", "vists", "--json"});
    EXPECT_NE(unknown.exitCode, 0);
    EXPECT_TRUE(contains(unknown.err, "no table named vists")) << unknown.err;
    EXPECT_TRUE(unknown.out.empty()) << unknown.out;
}

}  // namespace
}  // namespace vessamo
