#include "MediaSourceRoot.h"

#include <sys/stat.h>

#include <QFile>
#include <array>
#include <filesystem>
#include <string>
#include <system_error>

namespace vessamo::gui {

namespace {

namespace fs = std::filesystem;

// A folder is a prefix of a path only at a component boundary.
bool startsWithFolder(const std::string& path, const std::string& folder) {
    if (folder.empty() || path.size() <= folder.size() ||
        path.compare(0, folder.size(), folder) != 0) {
        return false;
    }
    return folder.back() == '/' || path[folder.size()] == '/';
}

}  // namespace

QString sourceRootOf(const ScanResult& result, const QString& file) {
    const std::string path = file.toStdString();
    const std::array<const std::string*, 3> roots = {&result.fullTimelinPath, &result.tempfilePath,
                                                     &result.folder};
    for (const std::string* root : roots) {
        if (startsWithFolder(path, *root)) {
            return QString::fromStdString(*root);
        }
    }
    return QString::fromStdString(result.folder);
}

std::optional<QString> confinedFile(const QString& file, const QString& root) {
    if (file.isEmpty() || root.isEmpty()) {
        return std::nullopt;
    }
    std::error_code error;
    const fs::path realRoot = fs::canonical(fs::path(root.toStdString()), error);
    if (error) {
        return std::nullopt;
    }
    const fs::path asked = fs::path(file.toStdString()).lexically_normal();
    const fs::path inside =
        asked.lexically_relative(fs::path(root.toStdString()).lexically_normal());
    if (inside.empty() || *inside.begin() == "..") {
        return std::nullopt;
    }
    // Each step below the root is looked at without following it.
    fs::path walked = realRoot;
    auto part = inside.begin();
    while (part != inside.end()) {
        if (*part == "." || *part == ".." || part->empty()) {
            return std::nullopt;
        }
        walked /= *part;
        struct stat info {};
        if (::lstat(QFile::encodeName(QString::fromStdString(walked.string())).constData(),
                    &info) != 0) {
            return std::nullopt;
        }
        const bool last = std::next(part) == inside.end();
        if (last ? !S_ISREG(info.st_mode) : !S_ISDIR(info.st_mode)) {
            return std::nullopt;  // a link, a device, or a file where a folder should be
        }
        ++part;
    }
    return QString::fromStdString(walked.string());
}

}  // namespace vessamo::gui
