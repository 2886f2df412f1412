#pragma once

#include <cstdint>
#include <string>

namespace vessamo::sample {

// The CRC-32 of zlib, PNG and gzip.
[[nodiscard]] uint32_t crc32(const std::string& bytes);

// A real PNG of one solid colour, so sample media open in any viewer.
[[nodiscard]] std::string solidColourPng(uint32_t width, uint32_t height, uint8_t red,
                                         uint8_t green, uint8_t blue);

}  // namespace vessamo::sample
