#include "sample/SampleRecordImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

#include "carving/OverflowPayload.h"
#include "common/ScratchFolder.h"

namespace vessamo::sample {

namespace fs = std::filesystem;

void appendVarint(std::string& out, uint64_t value) {
    uint8_t groups[10];
    int count = 0;
    if (value > 0x00ffffffffffffffULL) {
        // Nine bytes: the last holds eight bits.
        uint8_t last = static_cast<uint8_t>(value & 0xff);
        value >>= 8;
        for (int i = 0; i < 8; ++i) {
            groups[count++] = static_cast<uint8_t>(value & 0x7f);
            value >>= 7;
        }
        while (count > 0) {
            out += static_cast<char>(groups[--count] | 0x80);
        }
        out += static_cast<char>(last);
        return;
    }
    do {
        groups[count++] = static_cast<uint8_t>(value & 0x7f);
        value >>= 7;
    } while (value != 0);
    while (count > 1) {
        out += static_cast<char>(groups[--count] | 0x80);
    }
    out += static_cast<char>(groups[0]);
}

void appendBigEndian(std::string& out, uint64_t bits, int width) {
    for (int shift = (width - 1) * 8; shift >= 0; shift -= 8) {
        out += static_cast<char>((bits >> shift) & 0xff);
    }
}

namespace {

void appendValue(const Value& value, bool realAffinity, std::string& types, std::string& body) {
    if (const auto* real = std::get_if<double>(&value)) {
        constexpr double kLargestKeptAsInteger = 2251799813685248.0;  // 2^51
        if (realAffinity && std::trunc(*real) == *real &&
            std::fabs(*real) < kLargestKeptAsInteger) {
            appendValue(Value(static_cast<int64_t>(*real)), false, types, body);
            return;
        }
        uint64_t bits = 0;
        std::memcpy(&bits, real, sizeof bits);
        appendVarint(types, 7);
        appendBigEndian(body, bits, 8);
    } else if (const auto* integer = std::get_if<int64_t>(&value)) {
        const auto [serial, width] = integerSerial(*integer);
        appendVarint(types, serial);
        appendBigEndian(body, static_cast<uint64_t>(*integer), width);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
        appendVarint(types, 13 + 2 * text->size());
        body += *text;
    } else if (const auto* blob = std::get_if<Blob>(&value)) {
        appendVarint(types, 12 + 2 * blob->bytes.size());
        body += blob->bytes;
    } else {
        appendVarint(types, 0);
    }
}

size_t varintLength(uint64_t value) {
    std::string bytes;
    appendVarint(bytes, value);
    return bytes.size();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The database with its log folded in, as SQLite reads it, made in a copy.
std::string foldedImage(const std::string& path, const std::string& walPath) {
    auto scratch = ScratchFolder::create("vessamo-sample-fold");
    if (!scratch) {
        return {};
    }
    const std::string copy = scratch->path() + "/fold.sqlite";
    std::error_code failed;
    fs::copy_file(path, copy, failed);
    fs::copy_file(walPath, copy + "-wal", failed);
    {
        SqliteDatabase db;
        if (db.open(copy, SqliteDatabase::Mode::ReadWrite) != SQLITE_OK ||
            db.execute("PRAGMA wal_checkpoint(TRUNCATE)") != SQLITE_OK) {
            return {};
        }
    }
    return readFile(copy);
}

}  // namespace

// Serial type and big-endian width of an integer, as SQLite picks them for
// a file of format 4 (0 and 1 take no bytes at all).
std::pair<uint64_t, int> integerSerial(int64_t value) {
    if (value == 0 || value == 1) {
        return {static_cast<uint64_t>(8 + value), 0};
    }
    const uint64_t magnitude = static_cast<uint64_t>(value < 0 ? ~value : value);
    constexpr std::pair<uint64_t, std::pair<uint64_t, int>> kWidths[] = {
        {0x7f, {1, 1}},       {0x7fff, {2, 2}},         {0x7fffff, {3, 3}},
        {0x7fffffff, {4, 4}}, {0x7fffffffffff, {5, 6}},
    };
    for (const auto& [limit, serial] : kWidths) {
        if (magnitude <= limit) {
            return serial;
        }
    }
    return {6, 8};
}

// A column of REAL affinity keeps an integral value as an integer on disk,
// though it reads back as a real.
bool hasRealAffinity(std::string type) {
    std::transform(type.begin(), type.end(), type.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const auto has = [&](std::string_view part) { return type.find(part) != std::string::npos; };
    return !has("INT") && !has("CHAR") && !has("CLOB") && !has("TEXT") && !has("BLOB") &&
           (has("REAL") || has("FLOA") || has("DOUB"));
}

RecordImage recordImageOf(const std::vector<Value>& values, const std::vector<bool>& realAffinity,
                          size_t stanzaColumn) {
    std::string types;
    std::string body;
    size_t stanzaInBody = 0;
    size_t column1InTypes = 0;
    for (size_t column = 0; column < values.size(); ++column) {
        if (column == 1) {
            column1InTypes = types.size();
        }
        if (column == stanzaColumn) {
            stanzaInBody = body.size();
        }
        // The INTEGER PRIMARY KEY is the cell's row id; the record holds NULL.
        appendValue(column == 0 ? Value() : values[column], realAffinity[column], types, body);
    }
    size_t headerLength = types.size() + 1;
    if (varintLength(headerLength) > 1) {
        headerLength = types.size() + varintLength(types.size() + 2);
    }
    RecordImage record;
    appendVarint(record.bytes, headerLength);
    record.column1 = record.bytes.size() + column1InTypes;
    record.bytes += types;
    record.stanzaAt = record.bytes.size() + stanzaInBody;
    record.bytes += body;
    return record;
}

Value columnValue(const SqliteStatement& row, int column) {
    switch (row.columnType(column)) {
        case SQLITE_INTEGER:
            return row.columnInt64(column);
        case SQLITE_FLOAT:
            return row.columnDouble(column);
        case SQLITE_TEXT:
            return row.columnText(column).value_or("");
        case SQLITE_BLOB:
            return Blob{row.columnBlob(column)};
        default:
            return {};
    }
}

SurvivalCheck::SurvivalCheck(const std::string& database, const std::string& wal)
    : files_{readFile(database), readFile(wal)}, folded_(foldedImage(database, wal)) {
    // The page size, less the bytes each page reserves.
    if (folded_.size() >= 100) {
        const size_t size =
            (static_cast<uint8_t>(folded_[16]) << 8) | static_cast<uint8_t>(folded_[17]);
        usable_ = (size == 1 ? 65536 : size) - static_cast<uint8_t>(folded_[20]);
    }
}

bool SurvivalCheck::survives(const RecordImage& record, std::string_view stanza) const {
    if (usable_ <= 35) {
        return false;
    }
    const bool overflows = record.bytes.size() > usable_ - 35;
    const size_t local =
        overflows ? localPayloadSize(record.bytes.size(), usable_) : record.bytes.size();
    if (record.stanzaAt + stanza.size() > local) {
        return false;  // not anchored in its cell
    }
    const std::string_view inCell =
        std::string_view(record.bytes).substr(record.column1, local - record.column1);
    for (const std::string& file : files_) {
        for (size_t at = file.find(stanza); at != std::string::npos;
             at = file.find(stanza, at + 1)) {
            if (at < record.stanzaAt) {
                continue;
            }
            const size_t start = at - record.stanzaAt;
            if (std::string_view(file).substr(start + record.column1, inCell.size()) != inCell) {
                continue;
            }
            if (!overflows || chainHolds(record, local, file, start + local)) {
                return true;
            }
        }
    }
    return false;
}

bool SurvivalCheck::chainHolds(const RecordImage& record, size_t local, const std::string& file,
                               size_t linkAt) const {
    if (linkAt + 4 > file.size()) {
        return false;
    }
    uint32_t page = 0;
    for (size_t i = 0; i < 4; ++i) {
        page = (page << 8) | static_cast<uint8_t>(file[linkAt + i]);
    }
    const size_t pageSize =
        (static_cast<uint8_t>(folded_[16]) << 8) | static_cast<uint8_t>(folded_[17]);
    for (size_t done = local; done < record.bytes.size();) {
        const size_t at = static_cast<size_t>(page - 1) * pageSize;
        if (page == 0 || at + pageSize > folded_.size()) {
            return false;
        }
        const size_t part = std::min(usable_ - 4, record.bytes.size() - done);
        if (folded_.compare(at + 4, part, record.bytes, done, part) != 0) {
            return false;
        }
        done += part;
        page = 0;
        for (size_t i = 0; i < 4; ++i) {
            page = (page << 8) | static_cast<uint8_t>(folded_[at + i]);
        }
    }
    return true;
}

}  // namespace vessamo::sample
