#include "DestinationCheck.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace vessamo::cli {

namespace fs = std::filesystem;

namespace {

bool isFolder(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool writableFolder(const fs::path& path) {
    return ::access(path.c_str(), W_OK | X_OK) == 0;
}

// The destination once every existing part of it is resolved: what the
// export would really write into.
fs::path resolved(const fs::path& path) {
    std::error_code ec;
    const fs::path full = fs::weakly_canonical(fs::absolute(path, ec), ec);
    return ec ? fs::absolute(path).lexically_normal() : full;
}

bool isInside(const fs::path& inner, const fs::path& outer) {
    auto [outerEnd, innerAt] =
        std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
    (void)innerAt;
    return outerEnd == outer.end();
}

}  // namespace

std::optional<std::string> destinationProblem(const std::string& destination,
                                              const std::string& source) {
    if (destination.empty()) {
        return "--to needs a folder";
    }
    const fs::path target = resolved(destination);
    std::error_code ec;
    if (isInside(target, resolved(source))) {
        return destination + " is inside the backup folder, which is only ever read";
    }
    if (fs::exists(fs::symlink_status(target, ec))) {
        if (!isFolder(target)) {
            return destination + " exists and is not a folder";
        }
        if (!writableFolder(target)) {
            return destination + " is a folder this user cannot write into";
        }
        return std::nullopt;
    }
    fs::path parent = target.parent_path();
    while (!parent.empty() && !fs::exists(fs::symlink_status(parent, ec))) {
        parent = parent.parent_path();
    }
    if (parent.empty() || !isFolder(parent)) {
        return destination + " cannot be created: " + parent.string() + " is not a folder";
    }
    if (!writableFolder(parent)) {
        return destination + " cannot be created: this user cannot write into " + parent.string();
    }
    return std::nullopt;
}

}  // namespace vessamo::cli
