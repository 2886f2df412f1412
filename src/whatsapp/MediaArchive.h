#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <stop_token>
#include <string>

#include "common/Status.h"

namespace vessamo {

// What an archive's first bytes say it is. iCloud Drive keeps its ".tar"
// files gzip-compressed, but a plain tar under the same name is read too.
enum class ArchiveFormat { gzipTar, plainTar, unknown };

[[nodiscard]] ArchiveFormat archiveFormatOf(std::span<const uint8_t> head);
// The format of a regular file (links are not followed); unknown when it
// cannot be read.
[[nodiscard]] ArchiveFormat archiveFormatOfFile(const std::string& path);

// What unpacking always leaves free on the disk it writes to.
inline constexpr uint64_t kUnpackFreeMargin = uint64_t{256} << 20;

// The bounds one archive's unpacking keeps to.
struct UnpackBounds {
    uint64_t maxBytes = 0;  // what its files may add up to
    std::chrono::milliseconds timeout{0};
    std::stop_token stop;
};

// How one archive's unpacking ended, and whether what it left in the
// staging folder may be kept.
struct UnpackReport {
    Status status;  // ok, or what a person is told about the archive
    bool keepFiles = false;
};

// Unpacks one archive with tar into an empty staging folder of its own.
// A damaged member is passed over and the rest kept (status corrupt, files
// kept). An archive whose files would add up to more than maxBytes, or
// that would fill the disk, is stopped; so is tar when the stop token
// fires, at once, with whatever it started. Neither keeps any file.
[[nodiscard]] UnpackReport unpackArchive(const std::string& archive, const std::string& staging,
                                         const UnpackBounds& bounds);

// The apparent size of every regular file below a folder, links not
// followed: what copying them out would take.
[[nodiscard]] uint64_t bytesBelow(const std::string& folder);

// The bytes free for an unprivileged writer on the file system of path; 0
// when that cannot be told.
[[nodiscard]] uint64_t freeBytesAt(const std::string& path);

}  // namespace vessamo
