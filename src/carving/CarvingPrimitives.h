#pragma once

#include <cstdint>

#include "carving/CarvingFile.h"

namespace vessamo {

// Byte-level helpers of the deleted-record carver. Every number here may
// come from a damaged or hostile file.

// size bytes from bytes[start] as a big-endian unsigned number; 0 when size
// < 1 or start < 0. More than 8 bytes keep the low 64 bits.
[[nodiscard]] uint64_t readBigEndian(const uint8_t* bytes, int start, int size);

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
