#include "export/CharacterView.h"

#include <limits>

#include "common/Files.h"
#include "common/UserPaths.h"

namespace vessamo {

std::string ConvertFileToHexString(const std::string& path) {
    // The view shows the whole database however large it is; the source's
    // file itself, never one a link in its place points to.
    StatusOr<std::string> read =
        readWholeFile(PathWithin{{}, path}, std::numeric_limits<uint64_t>::max());
    if (!read.ok()) {
        return {};
    }
    std::string text = std::move(read).value();
    for (char& byte : text) {
        const auto value = static_cast<unsigned char>(byte);
        if (value < 0x20 || value > 0x7E) {
            byte = '.';
        }
    }
    return text;
}

std::string hexExportPath() {
    return UserPaths::userFolder() + "/Documents/hexFile.txt";
}

ExportReport ExportHexFileThread(const std::string& text) {
    ExportReport report;
    const std::string path = hexExportPath();
    const std::string_view name = lastComponent(path);
    Status written = makeFolders(path.substr(0, path.size() - name.size() - 1));
    if (written.ok()) {
        written = writeFileAtomically(path, text, WriteMode::replace, Flush::none);
    }
    if (written.ok()) {
        ++report.filesWritten;
    } else {
        report.failures.push_back(written.message());
    }
    return report;
}

}  // namespace vessamo
