#include "export/ExportFileNames.h"

#include "common/Files.h"

namespace vessamo {

std::string ExportFileNames::numbered(const std::string& stem, size_t n) {
    return n == 1 ? stem : stem + " (" + std::to_string(n) + ")";
}

std::string ExportFileNames::claim(std::string_view name, std::string_view extension,
                                   std::string_view owner) {
    if (!owner.empty()) {
        if (auto known = owners_.find(std::string(owner)); known != owners_.end()) {
            return known->second;
        }
    }
    const std::string stem = safeFileName(name);
    std::string fileName;
    for (size_t n = 1;; ++n) {
        fileName = numbered(stem, n) + std::string(extension);
        if (taken_.insert(fileName).second) {
            break;
        }
    }
    std::string path = folder_ + "/" + fileName;
    if (!owner.empty()) {
        owners_.emplace(std::string(owner), path);
    }
    return path;
}

std::string ExportFileNames::claimFileName(std::string_view fileName, std::string_view owner) {
    const std::string safe = safeFileName(fileName);
    const size_t dot = safe.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return claim(safe, "", owner);
    }
    return claim(std::string_view(safe).substr(0, dot), std::string_view(safe).substr(dot), owner);
}

std::string ExportFileNames::claimStem(std::string_view name,
                                       std::span<const std::string> suffixes) {
    const std::string stem = safeFileName(name);
    for (size_t n = 1;; ++n) {
        const std::string candidate = numbered(stem, n);
        bool free = true;
        for (const std::string& suffix : suffixes) {
            free = free && !taken_.contains(candidate + suffix);
        }
        if (free) {
            for (const std::string& suffix : suffixes) {
                taken_.insert(candidate + suffix);
            }
            return folder_ + "/" + candidate;
        }
    }
}

}  // namespace vessamo
