#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "carving/CarvingFile.h"

namespace vessamo {

// Byte-level helpers of the deleted-record carver. A null file stands for a
// database that is missing; offset 0 is never a field of interest (it is
// the file's magic header), so reads there are refused as well.

// The bytes at offset as lowercase hex, two characters per byte, replacing
// out. Bytes past the end show as "00". False, out untouched, for a missing
// file, offset 0, length 0 or a length too big to hold in memory.
[[nodiscard]] bool getHexString(const CarvingFile* file, uint64_t offset, uint32_t length,
                                std::string& out);

// Copies length bytes at offset into buffer; bytes past the end become 0.
// False, nothing written, for a missing file or buffer, offset 0 or length 0.
[[nodiscard]] bool readData(const CarvingFile* file, uint8_t* buffer, uint64_t offset,
                            uint32_t length);

// The first n characters of hex text as an unsigned number, most significant
// digit first. Either letter case is a digit; any other character counts as
// 0. Text shorter than n, or n <= 0, gives 0. With n > 16 the value wraps
// modulo 2^64, which leaves the number of the last 16 digits.
[[nodiscard]] uint64_t DemaNumberFormHexChar(std::string_view text, int n);

// size bytes from bytes[start] as a big-endian unsigned number; 0 when size
// < 1 or start < 0. More than 8 bytes keep the low 64 bits.
[[nodiscard]] uint64_t readBigEndian(const uint8_t* bytes, int start, int size);

// The kind of b-tree page whose first byte sits at offset:
// 1 table leaf (0x0d), 2 table interior (0x05) or a zeroed page (0x00),
// 3 index interior (0x02), 4 index leaf (0x0a), -1 anything else or offset 0.
[[nodiscard]] int getPageType(const CarvingFile* file, uint64_t offset);

// Bytes of record content a serial type stands for. Types 8..13 and
// negatives carry no content bytes in this carver's reading.
[[nodiscard]] int64_t getFieldDataLengthBy(int64_t serialType);

// Serial type of a two-byte varint as the carver reconstructs it from free
// space: the bits of a (no leading zeros, "0" for a == 0) followed by the
// bits of b padded to 7 (8 when b >= 128), with a leading "10" dropped.
[[nodiscard]] int64_t getAlterInteger(uint8_t a, uint8_t b);

// Page size from the database header (16-bit big-endian at offset 16).
// Stored 1 means 65536; anything that is not a power of two from 512 to
// 65536 gives 0, meaning the file cannot be walked page by page; so does a
// file too short to hold the 100-byte header.
[[nodiscard]] uint32_t readPageSize(const CarvingFile* file);

// Whole pages in a file of that size; a trailing partial page is not
// counted, and a page size of 0 gives 0.
[[nodiscard]] uint64_t pageCount(uint64_t fileSize, uint32_t pageSize);

}  // namespace vessamo
