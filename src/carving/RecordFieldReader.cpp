#include "carving/RecordFieldReader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "carving/CarvingPrimitives.h"

namespace vessamo {

namespace {

constexpr int64_t kLargestAlterSerialType = 4095;

std::optional<uint64_t> checkedAdd(uint64_t a, int64_t b) {
    if (b < 0 || a > std::numeric_limits<uint64_t>::max() - static_cast<uint64_t>(b)) {
        return std::nullopt;
    }
    return a + static_cast<uint64_t>(b);
}

// Where a column's content of n bytes starts, or nothing when that position
// (or the cursor after it) cannot be formed without wrapping.
std::optional<uint64_t> contentPosition(uint64_t base, int64_t headerLength, int64_t dataOffset,
                                        int64_t n) {
    if (dataOffset < 0 || dataOffset > std::numeric_limits<int64_t>::max() - n) {
        return std::nullopt;
    }
    const auto start = checkedAdd(base, headerLength);
    return start ? checkedAdd(*start, dataOffset) : std::nullopt;
}

std::optional<uint8_t> readHeaderByte(const CarvingFile& file, uint64_t base, int64_t position) {
    const auto at = checkedAdd(base, position);
    if (!at) {
        return std::nullopt;
    }
    uint8_t value = 0;
    file.readAt(*at, &value, 1);
    return value;
}

void copyRaw(const CarvingFile& file, uint64_t at, int64_t n, std::span<uint8_t> out) {
    file.readAt(at, out.data(), std::min(static_cast<size_t>(n), out.size()));
}

void writeText(const std::string& text, std::span<uint8_t> out) {
    if (text.size() + 1 > out.size()) {
        return;  // a partial number would be worse than none
    }
    std::memcpy(out.data(), text.data(), text.size());
    out[text.size()] = 0;
}

// Carved numbers are shown as 32-bit signed values; wider integers keep only
// their low 32 bits.
std::string integerText(const std::array<uint8_t, 8>& bytes, int64_t n) {
    const auto low = static_cast<uint32_t>(readBigEndian(bytes.data(), 0, static_cast<int>(n)));
    return std::to_string(static_cast<int32_t>(low));
}

std::string wholePartText(const std::array<uint8_t, 8>& bytes) {
    const auto value = std::bit_cast<double>(readBigEndian(bytes.data(), 0, 8));
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    if (!std::isfinite(value) || value < -kLimit || value >= kLimit) {
        return "0";
    }
    return std::to_string(static_cast<int64_t>(value));
}

}  // namespace

bool AnalyseDBDataFile(const CarvingFile* file, int position, int64_t& dataOffset, uint64_t base,
                       int64_t headerLength, std::span<uint8_t> out) {
    if (file == nullptr) {
        return false;
    }
    const auto serialType = readHeaderByte(*file, base, position);
    if (!serialType || *serialType == 0 || (*serialType >= 8 && *serialType <= 13)) {
        return false;
    }
    const int64_t n = getFieldDataLengthBy(*serialType);
    const auto at = contentPosition(base, headerLength, dataOffset, n);
    if (!at) {
        return false;
    }
    if (*serialType <= 7) {
        std::array<uint8_t, 8> bytes{};
        file->readAt(*at, bytes.data(), static_cast<size_t>(n));
        writeText(*serialType == 7 ? wholePartText(bytes) : integerText(bytes, n), out);
    } else {
        copyRaw(*file, *at, n, out);
    }
    dataOffset += n;
    return true;
}

void skipColumn(const CarvingFile& file, int position, int64_t& dataOffset, uint64_t base,
                int64_t headerLength) {
    const auto serialType = readHeaderByte(file, base, position);
    if (!serialType || *serialType == 0 || (*serialType >= 8 && *serialType <= 13)) {
        return;
    }
    const int64_t n = getFieldDataLengthBy(*serialType);
    if (contentPosition(base, headerLength, dataOffset, n)) {
        dataOffset += n;
    }
}

bool AnalyseAlterbleDB(const CarvingFile* file, int position, int64_t& dataOffset, uint64_t base,
                       int64_t headerLength, std::span<uint8_t> out) {
    if (file == nullptr) {
        return false;
    }
    const auto first = readHeaderByte(*file, base, position);
    const auto second = readHeaderByte(*file, base, int64_t{position} + 1);
    if (!first || !second) {
        return false;
    }
    const int64_t serialType = getAlterInteger(*first, *second);
    if (serialType > kLargestAlterSerialType) {
        return false;
    }
    const int64_t n = getFieldDataLengthBy(serialType);
    const auto at = contentPosition(base, headerLength, dataOffset, n);
    if (!at) {
        return false;
    }
    copyRaw(*file, *at, n, out);
    dataOffset += n;
    return true;
}

}  // namespace vessamo
