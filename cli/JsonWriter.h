#pragma once

#include <cstdint>
#include <cstdio>
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

    explicit JsonWriter(std::FILE* out, size_t bufferBytes = size_t{4} << 20);
    ~JsonWriter();
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    void beginObject(Layout layout = Layout::compact);
    void endObject();
    void beginArray(Layout layout = Layout::compact);
    void endArray();
    // The name of the next member of the open object.
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
    void open(char bracket, Layout layout);
    void close(char bracket);
    void newline(size_t depth);
    void escaped(std::string_view text);
    void put(char c) {
        if (used_ == capacity_) {
            flush();
        }
        buffer_[used_++] = c;
    }
    void put(std::string_view bytes);
    void flush();

    std::FILE* out_;
    std::unique_ptr<char[]> buffer_;
    size_t capacity_;
    size_t used_ = 0;
    bool failed_ = false;
    bool afterKey_ = false;
    std::vector<Frame> frames_;
};

}  // namespace vessamo::cli
