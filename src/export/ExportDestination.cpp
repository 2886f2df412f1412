#include "export/ExportDestination.h"

#include <filesystem>
#include <string_view>
#include <vector>

namespace vessamo {

namespace fs = std::filesystem;

namespace {

// The real path of a folder, or of where it would be made: the part that
// exists with its links resolved, the rest appended as written.
fs::path realPathOf(const std::string& path) {
    std::error_code ec;
    fs::path real = fs::weakly_canonical(fs::absolute(path, ec), ec);
    return ec ? fs::path(path).lexically_normal() : real;
}

// Whether inner is outer or lies below it.
bool liesWithin(const fs::path& inner, const fs::path& outer) {
    const fs::path relative = inner.lexically_relative(outer);
    return !relative.empty() && *relative.begin() != "..";
}

}  // namespace

Status checkExportDestination(const ScanResult& result, const std::string& destination) {
    const fs::path target = realPathOf(destination);
    std::vector<std::string_view> sources = {result.folder, result.fullTimelinPath};
    for (const std::string_view source : sources) {
        if (source.empty()) {
            continue;
        }
        const fs::path real = realPathOf(std::string(source));
        if (liesWithin(target, real)) {
            return Status::invalid("Cannot export into " + destination +
                                   ": it lies inside the source being read (" +
                                   std::string(source) + "). Choose a folder outside it.");
        }
        if (liesWithin(real, target)) {
            return Status::invalid("Cannot export into " + destination +
                                   ": it holds the source being read (" + std::string(source) +
                                   "). Choose a folder outside it.");
        }
    }
    return Status();
}

}  // namespace vessamo
