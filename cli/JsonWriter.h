#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace vessamo::cli {

// Writes JSON as it goes into a large buffer that is handed to a file in
// big pieces, so a result of a million messages is never held twice: there
// is no document tree, only the values written so far and not yet flushed.
// Strings are escaped per RFC 8259; bytes that are not UTF-8 become U+FFFD,
// since a backup's texts may hold anything and the output must still parse.
class JsonWriter {
public:
    // How a container's members are laid out: each on a line of its own,
    // indented by depth, or all on the line of the container.
    enum class Layout { lines, compact };

    explicit JsonWriter(std::FILE* out, size_t bufferBytes = size_t{256} << 10);
    ~JsonWriter();
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    void beginObject(Layout layout = Layout::compact);
    void endObject();
    void beginArray(Layout layout = Layout::compact);
    void endArray();
    // The name of the next member of the open object. Names are the
    // program's own camelCase words and are written as they are.
    void key(std::string_view name);

    void string(std::string_view text);
    void number(int64_t value);
    void number(double value);
    void boolean(bool value);
    void null();
    template <typename T>
    void optional(const std::optional<T>& value) {
        value ? write(*value) : null();
    }

    // A member of the open object in one call.
    template <typename T>
    void member(std::string_view name, const T& value) {
        key(name);
        write(value);
    }

    // Ends the document with a line break and hands everything to the file.
    // False when the file refused bytes at any point.
    [[nodiscard]] bool finish();

private:
    struct Frame {
        Layout layout;
        bool empty = true;
    };

    void write(std::string_view text) { string(text); }
    void write(const char* text) { string(text); }
    void write(bool value) { boolean(value); }
    void write(int value) { number(static_cast<int64_t>(value)); }
    void write(int64_t value) { number(value); }
    void write(uint32_t value) { number(static_cast<int64_t>(value)); }
    void write(size_t value) { number(static_cast<int64_t>(value)); }
    void write(double value) { number(value); }
    template <typename T>
    void write(const std::optional<T>& value) {
        optional(value);
    }

    void beforeValue();
    // Writes the separator a new member or element needs: a comma after an
    // earlier one, a line break and indentation in a multi-line container.
    char* separate(char* out);
    void open(char bracket, Layout layout);
    void close(char bracket);
    void escaped(std::string_view text);
    static char* escapeByte(char* out, unsigned char c);
    // Room for n more bytes at the end of the buffer, flushed first when it
    // lacks them; n never exceeds kLargestPiece.
    char* room(size_t n) {
        if (capacity_ - used_ < n) {
            flush();
        }
        return buffer_.get() + used_;
    }
    void commit(const char* end) { used_ = static_cast<size_t>(end - buffer_.get()); }
    void put(char c) {
        *room(1) = c;
        ++used_;
    }
    // Punctuation and literals, never a text of the result.
    void put(std::string_view shortBytes) {
        std::memcpy(room(shortBytes.size()), shortBytes.data(), shortBytes.size());
        used_ += shortBytes.size();
    }
    void flush();

    // Texts are escaped a piece at a time; a byte becomes at most six.
    static constexpr size_t kTextPiece = 4096;
    static constexpr size_t kLargestPiece = 6 * kTextPiece + 64;

    std::FILE* out_;
    size_t capacity_;
    std::unique_ptr<char[]> buffer_;
    size_t used_ = 0;
    bool failed_ = false;
    bool afterKey_ = false;
    std::vector<Frame> frames_;
};

}  // namespace vessamo::cli
