#pragma once

#include <cstdint>
#include <string>

namespace vessamo::sample {

// A real PNG of one solid colour, so sample media open in any viewer.
[[nodiscard]] std::string solidColourPng(uint32_t width, uint32_t height, uint8_t red,
                                         uint8_t green, uint8_t blue);

}  // namespace vessamo::sample
