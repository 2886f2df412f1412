#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "common/SqliteDatabase.h"

namespace vessamo::sample {

// A value as SQLite stores it.
struct Blob {
    std::string bytes;
};
using Value = std::variant<std::monostate, int64_t, double, std::string, Blob>;

// A column's value with its stored type, as a row was read back.
[[nodiscard]] Value columnValue(const SqliteStatement& row, int column);

// A SQLite varint: big-endian groups of seven bits, the ninth byte whole.
void appendVarint(std::string& out, uint64_t value);
// The lowest `width` bytes of bits, most significant first.
void appendBigEndian(std::string& out, uint64_t bits, int width);

// The serial type and big-endian width SQLite gives an integer in a file
// of format 4 (0 and 1 take no bytes at all).
[[nodiscard]] std::pair<uint64_t, int> integerSerial(int64_t value);

// Whether a declared column type gives the column REAL affinity.
[[nodiscard]] bool hasRealAffinity(std::string declaredType);

// A row's record as SQLite lays it out (the INTEGER PRIMARY KEY in column 0
// stored as NULL), and where its column-1 serial type and its stanza id
// sit in it.
struct RecordImage {
    std::string bytes;
    size_t column1 = 0;
    size_t stanzaAt = 0;
};
[[nodiscard]] RecordImage recordImageOf(const std::vector<Value>& values,
                                        const std::vector<bool>& realAffinity, size_t stanzaColumn);

// Whether a record still stands byte for byte, from column 1's serial type
// to its end, in a database file or its write-ahead log. A record too long
// for its page has its first part there and the rest in its overflow
// chain, read from the database as SQLite now sees it (log folded in).
class SurvivalCheck {
public:
    SurvivalCheck(const std::string& database, const std::string& wal);

    [[nodiscard]] bool survives(const RecordImage& record, std::string_view stanza) const;

private:
    [[nodiscard]] bool chainHolds(const RecordImage& record, size_t local, const std::string& file,
                                  size_t linkAt) const;

    std::vector<std::string> files_;
    std::string folded_;
    size_t usable_ = 0;
};

}  // namespace vessamo::sample
