#include "carving/CarvingPrimitives.h"

#include <algorithm>
#include <array>
#include <bit>
#include <new>
#include <utility>

namespace vessamo {

bool getHexString(const CarvingFile* file, uint64_t offset, uint32_t length, std::string& out) {
    if (file == nullptr || offset == 0 || length == 0) {
        return false;
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    try {
        text.resize(static_cast<size_t>(length) * 2);
    } catch (const std::bad_alloc&) {
        return false;  // a length read from a hostile file must not end the run
    }
    std::array<uint8_t, 4096> chunk{};
    uint64_t done = 0;
    while (done < length) {
        const auto n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), length - done));
        // Past UINT64_MAX there is no file, so a wrapped position reads zeros too.
        if (offset <= UINT64_MAX - done) {
            file->readAt(offset + done, chunk.data(), n);
        } else {
            chunk.fill(0);
        }
        for (size_t i = 0; i < n; ++i) {
            text[(done + i) * 2] = kDigits[chunk[i] >> 4];
            text[(done + i) * 2 + 1] = kDigits[chunk[i] & 0x0f];
        }
        done += n;
    }
    out = std::move(text);
    return true;
}

bool readData(const CarvingFile* file, uint8_t* buffer, uint64_t offset, uint32_t length) {
    if (file == nullptr || buffer == nullptr || offset == 0 || length == 0) {
        return false;
    }
    file->readAt(offset, buffer, length);
    return true;
}

namespace {

uint64_t hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<uint64_t>(c - '0');
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<uint64_t>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<uint64_t>(c - 'A' + 10);
    }
    return 0;
}

}  // namespace

uint64_t DemaNumberFormHexChar(std::string_view text, int n) {
    if (n <= 0 || text.size() < static_cast<size_t>(n)) {
        return 0;
    }
    uint64_t value = 0;
    for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
        value = (value << 4) | hexDigitValue(text[i]);
    }
    return value;
}

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

int getPageType(const CarvingFile* file, uint64_t offset) {
    if (file == nullptr || offset == 0) {
        return -1;
    }
    uint8_t flag = 0;
    file->readAt(offset, &flag, 1);
    switch (flag) {
        case 0x0d:
            return 1;
        case 0x05:
        case 0x00:
            return 2;
        case 0x02:
            return 3;
        case 0x0a:
            return 4;
        default:
            return -1;
    }
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
