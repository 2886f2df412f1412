#include "CarveCommand.h"

#include <cmath>
#include <ostream>

#include "JsonWriter.h"
#include "carving/TableRowCarver.h"

namespace vessamo::cli {

namespace {

void writeHex(JsonWriter& json, const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    json.string(hex);
}

void writeValue(JsonWriter& json, const CarvedValue& value) {
    switch (value.kind) {
        case CarvedValue::Kind::Null:
            json.null();
            break;
        case CarvedValue::Kind::Integer:
            json.number(value.integer);
            break;
        case CarvedValue::Kind::Real:
            if (std::isfinite(value.real)) {
                json.number(value.real);
            } else {
                json.null();  // JSON has no NaN or infinity
            }
            break;
        case CarvedValue::Kind::Text:
            json.string(value.bytes);
            break;
        case CarvedValue::Kind::Blob:
            writeHex(json, value.bytes);
            break;
    }
}

void writeRecords(JsonWriter& json, const std::vector<CarvedRow>& rows) {
    json.beginObject(JsonWriter::Layout::lines);
    json.key("records");
    json.beginArray(JsonWriter::Layout::lines);
    for (const CarvedRow& row : rows) {
        json.beginObject();
        json.member("table", row.table);
        json.key("values");
        json.beginArray();
        for (const CarvedValue& value : row.values) {
            writeValue(json, value);
        }
        json.endArray();
        json.member("origin", placeName(row.place));
        json.member("cut", row.cut);
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

void writeRows(const std::vector<CarvedRow>& rows, std::FILE* out) {
    {
        JsonWriter json(out);
        writeRecords(json, rows);
    }
    std::fputc('\n', out);
}

}  // namespace

int runCarve(const CarveOptions& options, std::FILE* out, std::ostream& err) {
    const StatusOr<std::vector<CarvedRow>> rows = carveTableRows(options.database, options.table);
    if (!rows.ok()) {
        err << "vessamo-cli carve: " << rows.status().message() << '\n';
        return 1;
    }
    if (options.json) {
        writeRows(*rows, out);
        return 0;
    }
    for (const CarvedRow& row : *rows) {
        std::fprintf(out, "%s\t%s\t%zu values\n", row.table.c_str(), placeName(row.place).c_str(),
                     row.values.size());
    }
    std::fprintf(out, "%zu deleted rows\n", rows->size());
    return 0;
}

}  // namespace vessamo::cli
