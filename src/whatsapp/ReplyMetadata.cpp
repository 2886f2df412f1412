#include "whatsapp/ReplyMetadata.h"

#include <cstdint>

namespace vessamo {

namespace {

constexpr uint64_t kQuotedStanzaField = 5;
// Stanza ids are short hex or base32 strings; anything longer is not one.
constexpr size_t kLongestStanzaId = 128;

// Reads the fields of one protocol buffer message, never past its end.
class FieldReader {
public:
    explicit FieldReader(std::string_view bytes) : rest_(bytes) {}

    struct Field {
        uint64_t number = 0;
        std::optional<std::string_view> bytes;  // length-delimited fields only
    };

    // The next field; nullopt at the end or where the bytes stop making
    // sense (then damaged() says so).
    [[nodiscard]] std::optional<Field> next() {
        if (rest_.empty()) {
            return std::nullopt;
        }
        std::optional<Field> field = read();
        damaged_ = !field;
        return field;
    }
    [[nodiscard]] bool damaged() const { return damaged_; }

private:
    [[nodiscard]] std::optional<Field> read() {
        const std::optional<uint64_t> key = varint();
        if (!key || (*key >> 3) == 0) {
            return std::nullopt;
        }
        Field field{*key >> 3, std::nullopt};
        switch (*key & 7) {
            case 0:
                return varint() ? std::optional(field) : std::nullopt;
            case 1:
                return skip(8) ? std::optional(field) : std::nullopt;
            case 2:
                if (const std::optional<uint64_t> length = varint();
                    length && *length <= rest_.size()) {
                    field.bytes = rest_.substr(0, *length);
                    rest_.remove_prefix(*length);
                    return field;
                }
                return std::nullopt;
            case 5:
                return skip(4) ? std::optional(field) : std::nullopt;
            default:
                return std::nullopt;  // groups are not used; anything else is damage
        }
    }

    [[nodiscard]] std::optional<uint64_t> varint() {
        uint64_t value = 0;
        for (int shift = 0; shift < 64 && !rest_.empty(); shift += 7) {
            const auto byte = static_cast<uint8_t>(rest_.front());
            rest_.remove_prefix(1);
            value |= uint64_t{byte & 0x7fu} << shift;
            if ((byte & 0x80u) == 0) {
                return value;
            }
        }
        return std::nullopt;
    }
    [[nodiscard]] bool skip(size_t count) {
        if (rest_.size() < count) {
            return false;
        }
        rest_.remove_prefix(count);
        return true;
    }

    std::string_view rest_;
    bool damaged_ = false;
};

bool looksLikeStanzaId(std::string_view text) {
    if (text.empty() || text.size() > kLongestStanzaId) {
        return false;
    }
    for (const char c : text) {
        if (c <= ' ' || c > '~') {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<std::string_view> quotedStanzaId(std::string_view metadata) {
    FieldReader reader(metadata);
    std::optional<std::string_view> quoted;
    while (const std::optional<FieldReader::Field> field = reader.next()) {
        if (field->number == kQuotedStanzaField && field->bytes) {
            quoted = field->bytes;
        }
    }
    // A blob that does not read to its end is not trusted in any part.
    if (reader.damaged() || !quoted || !looksLikeStanzaId(*quoted)) {
        return std::nullopt;
    }
    return quoted;
}

}  // namespace vessamo
