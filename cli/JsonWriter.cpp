#include "JsonWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace vessamo::cli {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Bytes that stand for themselves inside a JSON string.
bool isPlain(unsigned char c) {
    return c >= 0x20 && c < 0x80 && c != '"' && c != '\\';
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

}  // namespace

JsonWriter::JsonWriter(std::FILE* out, size_t bufferBytes)
    : out_(out), buffer_(new char[bufferBytes]), capacity_(bufferBytes) {
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

void JsonWriter::put(std::string_view bytes) {
    while (!bytes.empty()) {
        if (used_ == capacity_) {
            flush();
        }
        const size_t part = std::min(bytes.size(), capacity_ - used_);
        std::memcpy(buffer_.get() + used_, bytes.data(), part);
        used_ += part;
        bytes.remove_prefix(part);
    }
}

void JsonWriter::newline(size_t depth) {
    put('\n');
    for (size_t i = 0; i < depth; ++i) {
        put("  ");
    }
}

void JsonWriter::beforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (frames_.empty()) {
        return;
    }
    Frame& frame = frames_.back();
    if (!frame.empty) {
        put(',');
    }
    frame.empty = false;
    if (frame.layout == Layout::lines) {
        newline(frames_.size());
    }
}

void JsonWriter::key(std::string_view name) {
    beforeValue();
    escaped(name);
    put(':');
    if (frames_.back().layout == Layout::lines) {
        put(' ');
    }
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
    if (frame.layout == Layout::lines && !frame.empty) {
        newline(frames_.size());
    }
    put(bracket);
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
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, value);
    put(std::string_view(digits, static_cast<size_t>(written.ptr - digits)));
}

void JsonWriter::number(double value) {
    if (!std::isfinite(value)) {
        null();  // JSON has no infinities
        return;
    }
    beforeValue();
    char digits[32];
    const auto written = std::to_chars(digits, digits + sizeof digits, value);
    put(std::string_view(digits, static_cast<size_t>(written.ptr - digits)));
}

void JsonWriter::boolean(bool value) {
    beforeValue();
    put(value ? std::string_view("true") : std::string_view("false"));
}

void JsonWriter::null() {
    beforeValue();
    put("null");
}

void JsonWriter::escaped(std::string_view text) {
    put('"');
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p != end) {
        const auto* run = p;
        while (p != end && isPlain(*p)) {
            ++p;
        }
        put(std::string_view(reinterpret_cast<const char*>(run), static_cast<size_t>(p - run)));
        if (p == end) {
            break;
        }
        const unsigned char c = *p;
        if (c >= 0x80) {
            const Sequence sequence = utf8Sequence(p, end);
            put(sequence.valid ? std::string_view(reinterpret_cast<const char*>(p), sequence.length)
                               : kReplacement);
            p += sequence.length;
            continue;
        }
        ++p;
        switch (c) {
            case '"':
                put("\\\"");
                break;
            case '\\':
                put("\\\\");
                break;
            case '\b':
                put("\\b");
                break;
            case '\f':
                put("\\f");
                break;
            case '\n':
                put("\\n");
                break;
            case '\r':
                put("\\r");
                break;
            case '\t':
                put("\\t");
                break;
            default: {
                static constexpr char kHex[] = "0123456789abcdef";
                const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
                put(std::string_view(escape, sizeof escape));
            }
        }
    }
    put('"');
}

}  // namespace vessamo::cli
