#include "export/CharacterView.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/UserPaths.h"
#include "export/SafeFileName.h"

namespace vessamo {

namespace fs = std::filesystem;

std::string ConvertFileToHexString(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return {};
    }
    std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) {
        return {};
    }
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
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    if (ec) {
        report.failures.push_back(path + ": cannot create its folder: " + ec.message());
        return report;
    }
    const FileWrite write = writeFileSafely(path, text);
    if (write.written) {
        ++report.filesWritten;
    } else {
        report.failures.push_back(path + ": " + write.error);
    }
    return report;
}

}  // namespace vessamo
