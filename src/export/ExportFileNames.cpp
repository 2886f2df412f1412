#include "export/ExportFileNames.h"

#include "common/Files.h"

namespace vessamo {

std::string ExportFileNames::numbered(const std::string& stem, size_t n) {
    return n == 1 ? stem : stem + " (" + std::to_string(n) + ")";
}

bool ExportFileNames::take(std::string_view fileName) {
    if (taken_.contains(fileName)) {
        return false;
    }
    taken_.insert(bytes_.keep(fileName));
    return true;
}

Text ExportFileNames::given(std::string_view fileName) const {
    const auto found = taken_.find(fileName);
    return found == taken_.end() ? Text() : Text::borrowed(*found);
}

std::string ExportFileNames::claim(std::string_view name, std::string_view extension,
                                   std::string_view owner) {
    if (!owner.empty()) {
        if (auto known = owners_.find(owner); known != owners_.end()) {
            return folder_ + "/" + std::string(known->second);
        }
    }
    const std::string stem = safeFileName(name);
    std::string fileName;
    for (size_t n = 1;; ++n) {
        fileName = numbered(stem, n) + std::string(extension);
        if (take(fileName)) {
            break;
        }
    }
    if (!owner.empty()) {
        owners_.emplace(bytes_.keep(owner), given(fileName));
    }
    return folder_ + "/" + fileName;
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
                (void)take(candidate + suffix);
            }
            return folder_ + "/" + candidate;
        }
    }
}

}  // namespace vessamo
