#include "JsonWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace vessamo::cli {

namespace {

// Bytes that stand for themselves inside a JSON string.
bool isPlain(unsigned char c) {
    return c >= 0x20 && c < 0x80 && c != '"' && c != '\\';
}

// Whether any of eight bytes may need more than copying: a control byte, a
// quote, a backslash or a byte of a multi-byte sequence. Texts are mostly
// plain, so they are scanned and copied a word at a time.
bool mayNeedEscaping(uint64_t word) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHighs = 0x8080808080808080ull;
    const auto hasZeroByte = [](uint64_t v) { return (v - kOnes) & ~v & kHighs; };
    const uint64_t control = (word - kOnes * 0x20) & ~word & kHighs;
    return ((word & kHighs) | control | hasZeroByte(word ^ (kOnes * '"')) |
            hasZeroByte(word ^ (kOnes * '\\'))) != 0;
}

// The UTF-8 sequence that starts at p: how many bytes it spans and whether
// it is well formed. A broken one spans its maximal valid prefix (at least
// its first byte), which is replaced by one U+FFFD as Unicode recommends.
struct Sequence {
    size_t length;
    bool valid;
};

Sequence utf8Sequence(const unsigned char* p, const unsigned char* end) {
    const unsigned char lead = *p;
    size_t need = 0;
    unsigned char low = 0x80;  // the second byte's range, narrowed for some leads
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    } else {
        return {1, false};
    }
    for (size_t i = 1; i <= need; ++i) {
        if (p + i == end) {
            return {i, false};
        }
        const unsigned char next = p[i];
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) {
            return {i, false};
        }
    }
    return {need + 1, true};
}

char* copy(char* out, std::string_view bytes) {
    std::memcpy(out, bytes.data(), bytes.size());
    return out + bytes.size();
}

}  // namespace

JsonWriter::JsonWriter(std::FILE* out, size_t bufferBytes)
    : out_(out), capacity_(std::max(bufferBytes, 2 * kLargestPiece)), buffer_(new char[capacity_]) {
    frames_.reserve(8);
}

JsonWriter::~JsonWriter() {
    flush();
}

bool JsonWriter::finish() {
    put('\n');
    flush();
    if (std::fflush(out_) != 0) {
        failed_ = true;
    }
    return !failed_;
}

void JsonWriter::flush() {
    if (used_ != 0 && !failed_ && std::fwrite(buffer_.get(), 1, used_, out_) != used_) {
        failed_ = true;
    }
    used_ = 0;
}

char* JsonWriter::separate(char* out) {
    Frame& frame = frames_.back();
    if (!frame.empty) {
        *out++ = ',';
    }
    frame.empty = false;
    if (frame.layout == Layout::lines) {
        *out++ = '\n';
        const size_t indent = 2 * frames_.size();
        std::memset(out, ' ', indent);
        out += indent;
    }
    return out;
}

void JsonWriter::beforeValue() {
    if (afterKey_) {
        afterKey_ = false;
    } else if (!frames_.empty()) {
        commit(separate(room(2 + 2 * frames_.size())));
    }
}

void JsonWriter::key(std::string_view name) {
    char* out = separate(room(name.size() + 2 * frames_.size() + 8));
    *out++ = '"';
    out = copy(out, name);
    out = copy(out, frames_.back().layout == Layout::lines ? "\": " : "\":");
    commit(out);
    afterKey_ = true;
}

void JsonWriter::open(char bracket, Layout layout) {
    beforeValue();
    put(bracket);
    frames_.push_back(Frame{layout});
}

void JsonWriter::close(char bracket) {
    const Frame frame = frames_.back();
    frames_.pop_back();
    char* out = room(2 + 2 * frames_.size());
    if (frame.layout == Layout::lines && !frame.empty) {
        *out++ = '\n';
        std::memset(out, ' ', 2 * frames_.size());
        out += 2 * frames_.size();
    }
    *out++ = bracket;
    commit(out);
}

void JsonWriter::beginObject(Layout layout) {
    open('{', layout);
}

void JsonWriter::endObject() {
    close('}');
}

void JsonWriter::beginArray(Layout layout) {
    open('[', layout);
}

void JsonWriter::endArray() {
    close(']');
}

void JsonWriter::string(std::string_view text) {
    beforeValue();
    escaped(text);
}

void JsonWriter::number(int64_t value) {
    beforeValue();
    char* out = room(24);
    commit(std::to_chars(out, out + 24, value).ptr);
}

void JsonWriter::number(double value) {
    if (!std::isfinite(value)) {
        null();  // JSON has no infinities
        return;
    }
    beforeValue();
    char* out = room(32);
    commit(std::to_chars(out, out + 32, value).ptr);
}

void JsonWriter::boolean(bool value) {
    beforeValue();
    put(value ? std::string_view("true") : std::string_view("false"));
}

void JsonWriter::null() {
    beforeValue();
    put("null");
}

char* JsonWriter::escapeByte(char* out, unsigned char c) {
    switch (c) {
        case '"':
            return copy(out, "\\\"");
        case '\\':
            return copy(out, "\\\\");
        case '\b':
            return copy(out, "\\b");
        case '\f':
            return copy(out, "\\f");
        case '\n':
            return copy(out, "\\n");
        case '\r':
            return copy(out, "\\r");
        case '\t':
            return copy(out, "\\t");
        default: {
            static constexpr char kHex[] = "0123456789abcdef";
            const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
            return copy(out, std::string_view(escape, sizeof escape));
        }
    }
}

// Escapes a piece of the text at a time straight into the buffer, with room
// for the worst case: every byte an escape.
void JsonWriter::escaped(std::string_view text) {
    put('"');
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p != end) {
        const auto* pieceEnd = p + std::min(static_cast<size_t>(end - p), kTextPiece);
        char* out = room(kLargestPiece);
        while (p < pieceEnd) {
            uint64_t word;
            if (pieceEnd - p >= 8 && (std::memcpy(&word, p, 8), !mayNeedEscaping(word))) {
                std::memcpy(out, &word, 8);
                out += 8;
                p += 8;
                continue;
            }
            const unsigned char c = *p;
            if (isPlain(c)) {
                *out++ = static_cast<char>(c);
                ++p;
                continue;
            }
            if (c < 0x80) {
                out = escapeByte(out, c);
                ++p;
                continue;
            }
            // A sequence may run past the piece by three bytes at most.
            const Sequence sequence = utf8Sequence(p, end);
            out =
                sequence.valid
                    ? copy(out, std::string_view(reinterpret_cast<const char*>(p), sequence.length))
                    : copy(out, "\xEF\xBF\xBD");  // U+FFFD
            p += sequence.length;
        }
        commit(out);
    }
    put('"');
}

}  // namespace vessamo::cli
