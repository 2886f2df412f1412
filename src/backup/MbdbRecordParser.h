#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace vessamo {

// Walks the records of a Manifest.mbdb catalogue (version 5.0). Only the
// domain and relative path are kept; the rest of a record is stepped over.
class MbdbRecordParser {
public:
    // Domains and paths longer than this are cut; their remaining bytes are
    // still consumed so the next record starts in the right place.
    static constexpr size_t kMaxStringBytes = 259;

    struct Record {
        std::string domain;  // raw bytes, up to the first NUL
        std::string path;
        // Encrypted backups: the file's key as stored (protection class as
        // four little-endian bytes, then the wrapped key); empty otherwise.
        std::string encryptionKey;
        uint64_t size = 0;
        uint8_t protectionClass = 0;
        size_t endOffset = 0;  // position just after the record
    };

    explicit MbdbRecordParser(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    // False when the file does not start with the version 5.0 magic.
    [[nodiscard]] bool readHeader();
    [[nodiscard]] bool atEnd() const { return position_ >= bytes_.size(); }
    // The next record; nullopt when the file ends inside it.
    [[nodiscard]] std::optional<Record> next();

private:
    [[nodiscard]] bool skip(size_t count);
    [[nodiscard]] std::optional<uint16_t> readLength();
    [[nodiscard]] bool readString(std::string* keep);
    [[nodiscard]] bool readRaw(std::string& keep);
    [[nodiscard]] bool readFixedFields(Record& record);

    std::span<const uint8_t> bytes_;
    size_t position_ = 0;
};

}  // namespace vessamo
