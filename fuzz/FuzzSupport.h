#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "common/ScratchFolder.h"

namespace vessamo::fuzz {

// A private folder for the whole fuzzing run, so each input is written to
// the same few paths and nothing piles up; removed when the run ends.
inline const std::string& workFolder() {
    static ScratchFolder folder = [] {
        auto made = ScratchFolder::create("vessamo-fuzz");
        if (!made) {
            std::abort();
        }
        return std::move(*made);
    }();
    return folder.path();
}

inline void writeBytes(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) {
        std::abort();
    }
}

}  // namespace vessamo::fuzz
