#include "MediaSourceRoot.h"

#include <QFile>
#include <QMediaPlayer>
#include <QUrl>
#include <array>
#include <filesystem>
#include <string>
#include <system_error>

#include "ThumbnailCache.h"
#include "common/ConfinedFiles.h"

namespace vessamo::gui {

namespace {

// Films and sounds are streamed, never read whole: any size a phone records is fine.
constexpr qint64 kLargestPlayedBytes = 16LL * 1024 * 1024 * 1024;

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
    const PathWithin within{root.toStdString(), file.toStdString()};
    const StatusOr<std::string> relative = relativeInside(within);
    std::error_code error;
    const std::filesystem::path realRoot = std::filesystem::canonical(within.root, error);
    if (!relative.ok() || error || !isSourceFile(within)) {
        return std::nullopt;
    }
    // Named by the root's real place, as the file was found there.
    return QString::fromStdString((realRoot / *relative).string());
}

bool playConfined(QMediaPlayer& player, const QString& file, const QString& root) {
    releaseSource(player);
    const std::optional<QString> name = confinedFile(file, root);
    std::unique_ptr<QFile> opened =
        name ? ThumbnailCache::openInside(file, root, kLargestPlayedBytes) : nullptr;
    if (opened == nullptr) {
        return false;
    }
    QFile* device = opened.release();
    device->setParent(&player);
    // The name only tells the player the kind of file; it reads the device.
    player.setSourceDevice(device, QUrl::fromLocalFile(*name));
    return true;
}

void releaseSource(QMediaPlayer& player) {
    player.stop();
    player.setSource(QUrl());
    // The player's only files are the ones playConfined gave it. Its
    // backend may still hold one until the event loop turns.
    for (QFile* given : player.findChildren<QFile*>(Qt::FindDirectChildrenOnly)) {
        given->setParent(nullptr);
        given->deleteLater();
    }
}

}  // namespace vessamo::gui
