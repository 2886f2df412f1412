#include "export/MediaExports.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <unordered_set>

#include "common/Files.h"
#include "common/UserPaths.h"
#include "export/ExportFileNames.h"
#include "export/MessageAttachmentCopy.h"

namespace vessamo {

namespace {

std::string removeAll(std::string text, std::string_view what) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at)) {
        text.erase(at, what.size());
    }
    return text;
}

bool takesItem(MediaKind kind, const IKImageItem& item) {
    switch (kind) {
        case MediaKind::videos:
            return item.fileType == "Video";
        case MediaKind::audios:
            return item.fileType == "Audio";
        case MediaKind::photos:
            return item.fileType == "Photo";
        case MediaKind::all:
            break;
    }
    return true;
}

// Copies browser items into one folder. Two items of the same name are
// both kept, the second as "name (2).ext"; the same item listed twice is
// copied once.
class BrowserCopy {
public:
    BrowserCopy(const ScanResult& result, std::string folder, std::string root,
                ExportReport& report)
        : result_(result), names_(std::move(folder), std::move(root)), report_(report) {}

    void copy(const IKImageItem& item) {
        const std::string name(item.fileName ? item.fileName->view() : "(null)");
        if (!item.filePath) {
            report_.failures.push_back(names_.folder() + "/" + name + ": cannot read (no file)");
            return;
        }
        // The same item listed twice is one file; the same file under
        // another name is the person's choice and kept as named.
        const std::string source = item.filePath->str();
        const std::string owner = source + '\0' + name;
        if (!copied_.insert(owner).second) {
            return;
        }
        const std::string target = names_.claimFileName(name, owner);
        if (const Status copied =
                copyFileInPieces(withinSource(result_, source), {names_.root(), target}, buffer_);
            !copied.ok()) {
            report_.failures.push_back(copied.message());
            return;
        }
        ++report_.filesWritten;
        applyMediaTime(result_, item.fileVirtualPath.value_or(Text()), target, report_);
    }

private:
    const ScanResult& result_;
    ExportFileNames names_;
    ExportReport& report_;
    CopyBuffer buffer_;
    std::unordered_set<std::string> copied_;
};

ExportReport exportBrowserItems(const ScanResult& result, std::span<const IKImageItem> items,
                                const std::string& recoverPath, MediaKind kind,
                                const ExportControl& control) {
    ExportReport report;
    const std::string folder = mediaFolderOf(recoverPath, kind);
    if (const Status made = makeFoldersWithin({recoverPath, folder}); !made.ok()) {
        report.failures.push_back(made.message());
        return report;
    }
    BrowserCopy copier(result, folder, recoverPath, report);
    for (const IKImageItem& item : items) {
        if (control.stopRequested()) {
            report.failures.push_back("export cancelled before " +
                                      item.fileName.value_or("(null)"));
            break;
        }
        if (takesItem(kind, item)) {
            copier.copy(item);
        }
    }
    return report;
}

}  // namespace

// Linux offers no way to set a file's birth time; access and modification
// times are what file managers sort by.
void applyMediaTime(const ScanResult& result, std::string_view storedPath,
                    const std::string& copyPath, ExportReport& report) {
    const std::string key =
        removeAll(std::string(storedPath), result.bNewAppVersion() ? "Message/" : "Library/");
    const std::optional<AppleTime> time = result.mediaTime(key);
    const std::optional<std::time_t> when = time ? time->toUnix() : std::nullopt;
    if (!when) {
        return;
    }
    // Never through a link: the copy is a file of its own by now.
    const std::array<timespec, 2> times = {timespec{*when, 0}, timespec{*when, 0}};
    if (::utimensat(AT_FDCWD, copyPath.c_str(), times.data(), AT_SYMLINK_NOFOLLOW) != 0) {
        report.failures.push_back("cannot set the dates of " + copyPath + ": " +
                                  std::strerror(errno));
    }
}

ExportReport ExportChatAsAttachmentthreader(const ScanResult& result,
                                            std::span<const KTWhatsAppCovNode* const> conversations,
                                            const std::string& recoverPath,
                                            const ExportControl& control) {
    ExportReport report;
    MessageAttachmentCopy copier(result, recoverPath, report);
    for (const KTWhatsAppCovNode* conversation : conversations) {
        if (conversation == nullptr) {
            continue;
        }
        const MessageRange messages = result.messagesOf(*conversation);
        for (size_t at = messages.size(); at-- > 0;) {
            if (control.stopRequested()) {
                report.failures.push_back("export cancelled at the chat " +
                                          conversation->currentChatName);
                return report;
            }
            if (messages[at].isHaveAttch) {
                (void)copier.recoverMessageAttachment(messages[at]);
            }
        }
    }
    return report;
}

std::string mediaFolderOf(const std::string& recoverPath, MediaKind kind) {
    const std::string media = recoverPath + "/Media Files";
    switch (kind) {
        case MediaKind::videos:
            return media + "/Video";
        case MediaKind::audios:
            return media + "/Audios";
        case MediaKind::photos:
            return media + "/Photos";
        case MediaKind::all:
            break;
    }
    return media;
}

ExportReport exportMediaByKind(const ScanResult& result, std::span<const IKImageItem> items,
                               const std::string& recoverPath, MediaKind kind,
                               const ExportControl& control) {
    return exportBrowserItems(result, items, recoverPath, kind, control);
}

ExportReport ExportAllMediaFilesthreader(const ScanResult& result,
                                         std::span<const IKImageItem> items,
                                         const std::string& recoverPath,
                                         const ExportControl& control) {
    return exportMediaByKind(result, items, recoverPath, MediaKind::all, control);
}

ExportReport ExportAllVideosthreader(const ScanResult& result, std::span<const IKImageItem> items,
                                     const std::string& recoverPath, const ExportControl& control) {
    return exportMediaByKind(result, items, recoverPath, MediaKind::videos, control);
}

ExportReport ExportAllAudiosthreader(const ScanResult& result, std::span<const IKImageItem> items,
                                     const std::string& recoverPath, const ExportControl& control) {
    return exportMediaByKind(result, items, recoverPath, MediaKind::audios, control);
}

ExportReport ExportAllPhotosthreader(const ScanResult& result, std::span<const IKImageItem> items,
                                     const std::string& recoverPath, const ExportControl& control) {
    return exportMediaByKind(result, items, recoverPath, MediaKind::photos, control);
}

ExportReport ExportChatSelectedMediaPhotothreader(const ScanResult& result,
                                                  std::span<const IKImageItem> selectedItems,
                                                  const std::string& recoverPath,
                                                  const ExportControl& control) {
    return exportMediaByKind(result, selectedItems, recoverPath, MediaKind::all, control);
}

ExportReport ExportPreviewContent(const std::string& previewPath, const std::string& previewName) {
    ExportReport report;
    const std::string folder = UserPaths::userFolder() + "/desktop";
    if (const Status made = makeFolders(folder); !made.ok()) {
        report.failures.push_back(made.message());
        return report;
    }
    const std::string target = folder + "/" + safeFileName(previewName);
    // A file already there is the person's own; it stays, as it always did.
    CopyBuffer buffer;
    const Status copied =
        copyFileInPieces({{}, previewPath}, {folder, target}, buffer, WriteMode::keepExisting);
    if (copied.ok()) {
        ++report.filesWritten;
    } else if (!copied.is(StatusCode::alreadyExists)) {
        report.failures.push_back(copied.message());
    }
    return report;
}

}  // namespace vessamo
