#include "carving/CarverPatterns.h"

#include <algorithm>

namespace vessamo {

namespace {

constexpr size_t kPatternDigits = 6;
constexpr size_t kProbeDigits = kCellProbeBytes * 2;

// The patterns as half-bytes, most significant first.
constexpr std::array<std::array<uint8_t, kPatternDigits>, kMessagePatterns.size()> patternDigits() {
    std::array<std::array<uint8_t, kPatternDigits>, kMessagePatterns.size()> digits{};
    for (size_t i = 0; i < kMessagePatterns.size(); ++i) {
        for (size_t k = 0; k < 3; ++k) {
            digits[i][2 * k] = static_cast<uint8_t>(kMessagePatterns[i][k] >> 4);
            digits[i][2 * k + 1] = static_cast<uint8_t>(kMessagePatterns[i][k] & 0x0f);
        }
    }
    return digits;
}

constexpr auto kPatternDigitsTable = patternDigits();

}  // namespace

bool cellProbeHoldsPattern(std::span<const uint8_t, kCellProbeBytes> bytes) {
    std::array<uint8_t, kProbeDigits> digits{};
    for (size_t i = 0; i < kCellProbeBytes; ++i) {
        digits[2 * i] = static_cast<uint8_t>(bytes[i] >> 4);
        digits[2 * i + 1] = static_cast<uint8_t>(bytes[i] & 0x0f);
    }
    for (size_t start = 0; start + kPatternDigits < kProbeDigits; ++start) {
        // Every pattern starts with the digits 0 and 1.
        if (digits[start] != 0 || digits[start + 1] != 1) {
            continue;
        }
        for (const auto& pattern : kPatternDigitsTable) {
            if (std::equal(pattern.begin(), pattern.end(), digits.begin() + start)) {
                return true;
            }
        }
    }
    return false;
}

bool IsTextPropertFiled(const CarvingFile* file, uint64_t offset) {
    if (file == nullptr) {
        return false;
    }
    uint8_t value = 0;
    file->readAt(offset, &value, 1);
    return isTwoByteTextLead(value);
}

}  // namespace vessamo
