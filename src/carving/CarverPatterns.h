#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "carving/CarvingFile.h"

namespace vessamo {

// The byte shapes that give a message record away. A message row starts
// with an entity number and a version number stored as 1-byte integers (or
// the constants 0/1), followed by a from-me flag; their serial types are the
// first three bytes after the row id's type.
inline constexpr std::array<std::array<uint8_t, 3>, 6> kMessagePatterns = {{
    {0x01, 0x09, 0x08},
    {0x01, 0x01, 0x08},
    {0x01, 0x09, 0x01},
    {0x01, 0x01, 0x01},
    {0x01, 0x01, 0x09},
    {0x01, 0x09, 0x09},  // a sent row of the oldest table whose version is still 1
}};

// bytes points at (at least) 3 readable bytes.
[[nodiscard]] inline bool matchesMessagePattern(const uint8_t* bytes) {
    if (bytes[0] != 0x01) {
        return false;
    }
    if (bytes[1] == 0x01) {
        return bytes[2] == 0x08 || bytes[2] == 0x01 || bytes[2] == 0x09;
    }
    return bytes[1] == 0x09 && (bytes[2] == 0x08 || bytes[2] == 0x01 || bytes[2] == 0x09);
}

// Rows of the newer, wider message table: the same start with constant
// serial types, followed by two more columns that are always zero.
// bytes points at (at least) 5 readable bytes.
[[nodiscard]] inline bool matchesWideMessagePattern(const uint8_t* bytes) {
    return bytes[0] == 0x01 && (bytes[1] == 0x09 || bytes[1] == 0x01) && bytes[2] == 0x08 &&
           bytes[3] == 0x08 && bytes[4] == 0x08;
}

// Whether the bytes at the start of a cell (kCellProbeBytes of them) hold
// one of the message patterns at a half-byte boundary: the page check has
// always compared hex text one digit at a time, so a pattern may begin in
// the middle of a byte. The last possible start, digit 14, is left out on
// purpose: which pages count as worth scanning must not drift.
inline constexpr size_t kCellProbeBytes = 10;
[[nodiscard]] bool cellProbeHoldsPattern(std::span<const uint8_t, kCellProbeBytes> bytes);

// Whether the serial-type byte at offset is the first byte of a two-byte
// varint, as texts of 58 to 2041 bytes have: 0x80..0x9F. A byte below 0x80
// is a whole serial type of its own (121..127: texts of 54..57 bytes).
[[nodiscard]] bool IsTextPropertFiled(const CarvingFile* file, uint64_t offset);
[[nodiscard]] inline bool isTwoByteTextLead(uint8_t value) {
    return value >= 0x80 && value <= 0x9f;
}

}  // namespace vessamo
