#include "carving/CarvingPrimitives.h"

#include <array>
#include <bit>

namespace vessamo {

uint64_t readBigEndian(const uint8_t* bytes, int start, int size) {
    if (bytes == nullptr || start < 0 || size < 1) {
        return 0;
    }
    uint64_t value = 0;
    const auto first = static_cast<size_t>(start);
    for (size_t i = 0; i < static_cast<size_t>(size); ++i) {
        value = (value << 8) | bytes[first + i];
    }
    return value;
}

int64_t getFieldDataLengthBy(int64_t serialType) {
    if (serialType < 0) {
        return 0;
    }
    if (serialType <= 4) {
        return serialType;
    }
    if (serialType == 5) {
        return 6;
    }
    if (serialType <= 7) {
        return 8;
    }
    if (serialType <= 13) {
        return 0;
    }
    return serialType % 2 == 0 ? (serialType - 12) / 2 : (serialType - 13) / 2;
}

int64_t getAlterInteger(uint8_t a, uint8_t b) {
    // The concatenated digit string, as a number plus its digit count; a
    // zero a still contributes its single "0" digit.
    const int lowDigits = b >= 0x80 ? 8 : 7;
    const int highDigits = a == 0 ? 1 : std::bit_width(static_cast<unsigned>(a));
    const int digits = highDigits + lowDigits;
    const auto joined = static_cast<int64_t>((static_cast<uint32_t>(a) << lowDigits) | b);
    const auto leadingPair = (joined >> (digits - 2)) & 0x3;
    if (leadingPair == 0x2) {
        return joined & ((int64_t{1} << (digits - 2)) - 1);
    }
    return joined;
}

namespace {

constexpr uint64_t kDatabaseHeaderSize = 100;

}  // namespace

uint32_t readPageSize(const CarvingFile* file) {
    if (file == nullptr || file->size() < kDatabaseHeaderSize) {
        return 0;
    }
    std::array<uint8_t, 2> field{};
    file->readAt(16, field.data(), field.size());
    const auto stored = static_cast<uint32_t>(readBigEndian(field.data(), 0, 2));
    const uint32_t pageSize = stored == 1 ? 65536 : stored;
    if (pageSize < 512 || pageSize > 65536 || !std::has_single_bit(pageSize)) {
        return 0;
    }
    return pageSize;
}

uint64_t pageCount(uint64_t fileSize, uint32_t pageSize) {
    return pageSize == 0 ? 0 : fileSize / pageSize;
}

}  // namespace vessamo
