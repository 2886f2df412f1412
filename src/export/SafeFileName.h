#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vessamo {

// Names, numbers and subjects come from other people's phones. Anything we
// build a file name from is made one harmless path component, so an export
// never lands outside the folder the person chose.
inline constexpr std::size_t kSafeFileNameMaxBytes = 200;

// "/" and NUL become "_", "." and ".." become "_" and "__", an empty name
// becomes "_", and the result is cut to kSafeFileNameMaxBytes on a UTF-8
// character boundary, leaving room for an extension within NAME_MAX.
[[nodiscard]] std::string safeFileName(std::string_view name);

enum class WriteMode {
    replace,       // truncate whatever file is there
    keepExisting,  // leave an existing file alone and say so
};

struct FileWrite {
    bool written = false;
    bool alreadyThere = false;  // keepExisting found a file of that name
    std::string error;          // why it was not written, when it was not
};

// Writes the bytes to a file, never through a symbolic link, so a link left
// in the destination cannot redirect the export elsewhere. A file that could
// not be written completely is removed rather than left half-written.
[[nodiscard]] FileWrite writeFileSafely(const std::string& path, std::string_view bytes,
                                        WriteMode mode = WriteMode::replace);

}  // namespace vessamo
