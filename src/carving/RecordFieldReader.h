#pragma once

#include <cstdint>
#include <span>

#include "carving/CarvingFile.h"

namespace vessamo {

// Field readers of the record cursor. A record being carved sits at base:
// its header holds one serial type per column (position is the type's byte
// within the header), its content starts headerLength bytes after base, and
// dataOffset is where the next column's content begins within that content.
// out is a caller-zeroed buffer of one page.
//
// Both readers leave dataOffset and out untouched when they return false.
// Offsets that would wrap or go negative are refused as unreadable rather
// than trusted: every number here may come from a damaged or hostile file.

// Reads one column whose serial type is a single byte. Integers come out as
// the decimal text of their low 32 bits taken as signed; a double as the
// decimal text of its whole part (stored dates must come out exact); text
// and blobs as raw bytes, cut to out. Types 0 and 8..13 carry nothing to
// carve and give false.
[[nodiscard]] bool AnalyseDBDataFile(const CarvingFile* file, int position, int64_t& dataOffset,
                                     uint64_t base, int64_t headerLength, std::span<uint8_t> out);

// Moves dataOffset past one column whose serial type is a single byte,
// exactly as AnalyseDBDataFile would, without reading its content: for the
// many columns a carved record passes over.
void skipColumn(const CarvingFile& file, int position, int64_t& dataOffset, uint64_t base,
                int64_t headerLength);

// Reads one column whose serial type is a two-byte varint (see
// getAlterInteger), copying its content raw whatever the type. Types above
// 4095 are not something a carved record holds and give false.
[[nodiscard]] bool AnalyseAlterbleDB(const CarvingFile* file, int position, int64_t& dataOffset,
                                     uint64_t base, int64_t headerLength, std::span<uint8_t> out);

}  // namespace vessamo
