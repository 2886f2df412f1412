#include "sample/SampleImage.h"

#include <algorithm>
#include <array>

namespace vessamo::sample {

uint32_t crc32(const std::string& bytes) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFu;
}

namespace {

uint32_t adler32(const std::string& bytes) {
    uint32_t a = 1;
    uint32_t b = 0;
    for (unsigned char byte : bytes) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

void put32(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

void putChunk(std::string& out, const char* type, const std::string& data) {
    put32(out, static_cast<uint32_t>(data.size()));
    std::string typed = std::string(type, 4) + data;
    out += typed;
    put32(out, crc32(typed));
}

// zlib stream of stored (uncompressed) deflate blocks: no compressor needed.
std::string storedZlib(const std::string& raw) {
    std::string out("\x78\x01", 2);
    size_t offset = 0;
    do {
        size_t length = std::min<size_t>(raw.size() - offset, 65535);
        bool last = offset + length == raw.size();
        out += static_cast<char>(last ? 1 : 0);
        out += static_cast<char>(length & 0xFF);
        out += static_cast<char>(length >> 8);
        out += static_cast<char>(~length & 0xFF);
        out += static_cast<char>((~length >> 8) & 0xFF);
        out += raw.substr(offset, length);
        offset += length;
    } while (offset < raw.size());
    put32(out, adler32(raw));
    return out;
}

}  // namespace

std::string solidColourPng(uint32_t width, uint32_t height, uint8_t red, uint8_t green,
                           uint8_t blue) {
    std::string header;
    put32(header, width);
    put32(header, height);
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace
    std::string row(1, '\0');                          // filter type: none
    for (uint32_t x = 0; x < width; ++x) {
        row += static_cast<char>(red);
        row += static_cast<char>(green);
        row += static_cast<char>(blue);
    }
    std::string pixels;
    for (uint32_t y = 0; y < height; ++y) {
        pixels += row;
    }
    std::string png("\x89PNG\r\n\x1a\n", 8);
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", storedZlib(pixels));
    putChunk(png, "IEND", {});
    return png;
}

}  // namespace vessamo::sample
