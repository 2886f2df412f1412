#include "export/MediaExports.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unordered_set>

#include "common/UserPaths.h"
#include "export/MessageAttachmentCopy.h"
#include "export/SafeFileName.h"
#include "results/ConversationFiller.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

std::string removeAll(std::string text, std::string_view what) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at)) {
        text.erase(at, what.size());
    }
    return text;
}

std::optional<std::string> makeFolder(const std::string& folder, ExportReport& report) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder, ec)) {
        report.failures.push_back(folder + ": cannot create the folder: " + ec.message());
        return std::nullopt;
    }
    return folder;
}

std::optional<std::string> readWholeFile(const std::string& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        return std::nullopt;  // a folder would read as an empty file
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) {
        return std::nullopt;
    }
    return bytes;
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

// Copies browser items into one folder. Two items of the same name leave
// the later copy, as they always did, but the lost one is reported.
class BrowserCopy {
public:
    BrowserCopy(const ExportSource& source, std::string folder, ExportReport& report)
        : source_(source), folder_(std::move(folder)), report_(report) {}

    void copy(const IKImageItem& item) {
        const std::string target = folder_ + "/" + safeFileName(item.fileName.value_or("(null)"));
        if (!targets_.insert(target).second) {
            report_.failures.push_back(target +
                                       ": two items share this name; the later one "
                                       "replaced the earlier");
        }
        const auto bytes = item.filePath ? readWholeFile(*item.filePath) : std::nullopt;
        if (!bytes) {
            report_.failures.push_back(target + ": cannot read " +
                                       item.filePath.value_or("(no file)"));
            return;
        }
        const FileWrite write = writeFileSafely(target, *bytes);
        if (!write.written) {
            report_.failures.push_back(target + ": " + write.error);
            return;
        }
        if (written_.insert(target).second) {
            ++report_.filesWritten;
        }
        applyMediaTime(source_, item.fileVirtualPath, target, report_);
    }

private:
    const ExportSource& source_;
    std::string folder_;
    ExportReport& report_;
    std::unordered_set<std::string> targets_;
    std::unordered_set<std::string> written_;
};

template <typename Take>
ExportReport exportBrowserItems(const ExportSource& source, const std::vector<IKImageItem>& items,
                                const std::string& folder, Take take) {
    ExportReport report;
    if (!makeFolder(folder, report)) {
        return report;
    }
    BrowserCopy copier(source, folder, report);
    for (size_t index = 0; index < items.size(); ++index) {
        if (take(index, items[index])) {
            copier.copy(items[index]);
        }
    }
    return report;
}

}  // namespace

// Linux offers no way to set a file's birth time; access and modification
// times are what file managers sort by.
void applyMediaTime(const ExportSource& source, const std::optional<std::string>& storedPath,
                    const std::string& copy, ExportReport& report) {
    const auto date = storedPath ? getFileDateByNodeFilepath(source, *storedPath) : std::nullopt;
    const auto when = date ? parseMediaTime(*date) : std::nullopt;
    if (!when) {
        return;
    }
    const std::array<timeval, 2> times = {timeval{*when, 0}, timeval{*when, 0}};
    if (::utimes(copy.c_str(), times.data()) != 0) {
        report.failures.push_back("cannot set the dates of " + copy + ": " + std::strerror(errno));
    }
}

std::optional<std::string> getFileDateByNodeFilepath(const ExportSource& source,
                                                     std::string_view storedPath) {
    const std::string key =
        removeAll(std::string(storedPath), source.bNewAppVersion ? "Message/" : "Library/");
    const auto found = source.fileDateDict.find(key);
    if (found == source.fileDateDict.end()) {
        return std::nullopt;
    }
    return found->second;
}

// The older colon-separated reading carries the same numbers as the dashed
// one, so one parse covers both. Dates the calendar does not have (02-31)
// are refused rather than rolled into the next month.
std::optional<std::time_t> parseMediaTime(std::string_view text) {
    return parseMessageTime(std::string(text));
}

ExportReport ExportChatAsAttachmentthreader(const ExportSource& source,
                                            const std::string& recoverPath,
                                            std::optional<size_t> selectedRow) {
    ExportReport report;
    if (source.node == nullptr) {
        report.failures.push_back("no scanned source to export from");
        return report;
    }
    MessageAttachmentCopy copier(source, recoverPath, report);
    const auto& conversations = source.node->WhatsAppConvChatArray;
    const ConversationFiller filler(source.node->WhatsAppChatArray);
    for (size_t row = 0; row < conversations.size(); ++row) {
        const KTWhatsAppCovNodePtr& conversation = conversations[row];
        if (!conversation || (selectedRow != row && !conversation->bSelected)) {
            continue;
        }
        filler.fill(*conversation);
        const auto& messages = conversation->appNodeArray;
        for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
            if (*it && (*it)->isHaveAttch) {
                (void)copier.recoverMessageAttachment(**it);
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

ExportReport exportMediaByKind(const ExportSource& source, const std::vector<IKImageItem>& items,
                               const std::string& recoverPath, MediaKind kind) {
    return exportBrowserItems(
        source, items, mediaFolderOf(recoverPath, kind),
        [kind](size_t, const IKImageItem& item) { return takesItem(kind, item); });
}

ExportReport ExportAllMediaFilesthreader(const ExportSource& source,
                                         const std::vector<IKImageItem>& items,
                                         const std::string& recoverPath) {
    return exportMediaByKind(source, items, recoverPath, MediaKind::all);
}

ExportReport ExportAllVideosthreader(const ExportSource& source,
                                     const std::vector<IKImageItem>& items,
                                     const std::string& recoverPath) {
    return exportMediaByKind(source, items, recoverPath, MediaKind::videos);
}

ExportReport ExportAllAudiosthreader(const ExportSource& source,
                                     const std::vector<IKImageItem>& items,
                                     const std::string& recoverPath) {
    return exportMediaByKind(source, items, recoverPath, MediaKind::audios);
}

ExportReport ExportAllPhotosthreader(const ExportSource& source,
                                     const std::vector<IKImageItem>& items,
                                     const std::string& recoverPath) {
    return exportMediaByKind(source, items, recoverPath, MediaKind::photos);
}

ExportReport ExportChatSelectedMediaPhotothreader(const ExportSource& source,
                                                  const std::vector<IKImageItem>& items,
                                                  const std::set<size_t>& selection,
                                                  const std::string& recoverPath) {
    return exportBrowserItems(
        source, items, mediaFolderOf(recoverPath, MediaKind::all),
        [&selection](size_t index, const IKImageItem&) { return selection.count(index) > 0; });
}

ExportReport ExportPreviewContent(const std::string& currentPreviewFilePath,
                                  const std::string& currentPreviewFileName) {
    ExportReport report;
    const auto folder = makeFolder(UserPaths::userFolder() + "/desktop", report);
    if (!folder) {
        return report;
    }
    const std::string target = *folder + "/" + safeFileName(currentPreviewFileName);
    const auto bytes = readWholeFile(currentPreviewFilePath);
    if (!bytes) {
        report.failures.push_back(target + ": cannot read " + currentPreviewFilePath);
        return report;
    }
    // A file already there is the person's own; it stays, as it always did.
    const FileWrite write = writeFileSafely(target, *bytes, WriteMode::keepExisting);
    if (write.written) {
        ++report.filesWritten;
    } else if (!write.error.empty()) {
        report.failures.push_back(target + ": " + write.error);
    }
    return report;
}

}  // namespace vessamo
