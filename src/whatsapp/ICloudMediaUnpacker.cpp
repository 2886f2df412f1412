#include "whatsapp/ICloudMediaUnpacker.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>

#include "common/Files.h"
#include "common/SystemLog.h"
#include "whatsapp/MediaArchive.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

constexpr const char* kMediaTree = "media";

// The media archives an iCloud Drive WhatsApp backup keeps, in the order
// they are unpacked; a later one's file replaces an earlier one's.
constexpr std::array<const char*, 6> kMediaArchives = {
    "Media.tar", "Media_1.tar", "Document.tar", "Document_1.tar", "Video.tar", "Thumbnail.tar"};

// A fresh, empty folder beside the media tree for one archive. tar unpacks
// there, so whatever the archive holds can only ever land inside it.
std::optional<std::string> makeStaging(const std::string& root) {
    std::string templ = root + "/staging-XXXXXX";
    std::vector<char> buffer(templ.begin(), templ.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        return std::nullopt;
    }
    return std::string(buffer.data());
}

// Makes way at a place in the media tree for an entry of another kind.
void clearFor(const fs::path& target, bool wantFolder) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(target, ec);
    if (!fs::exists(status)) {
        return;
    }
    if (fs::is_directory(status) != wantFolder) {
        fs::remove_all(target, ec);
    }
}

struct StagedEntry {
    fs::path path;
    bool folder = false;
};

// The plain files and folders of a staging folder, parents before their
// contents. Links, devices, pipes and sockets are left out: they stay
// behind and go with the staging folder.
std::vector<StagedEntry> stagedEntries(const std::string& staging) {
    std::vector<StagedEntry> entries;
    std::error_code ec;
    fs::recursive_directory_iterator walk(staging, fs::directory_options::none, ec);
    for (; !ec && walk != fs::recursive_directory_iterator(); walk.increment(ec)) {
        std::error_code step;
        const fs::file_status status = walk->symlink_status(step);
        if (fs::is_directory(status)) {
            // A folder that came without search rights could not be walked.
            fs::permissions(walk->path(), fs::perms::owner_all, fs::perm_options::add, step);
            entries.push_back({walk->path(), true});
        } else if (fs::is_regular_file(status)) {
            fs::permissions(walk->path(), fs::perms::owner_read | fs::perms::owner_write,
                            fs::perm_options::add, step);
            entries.push_back({walk->path(), false});
        }
    }
    if (ec) {
        SystemLog::write(staging + ": not every unpacked file was kept: " + ec.message());
    }
    return entries;
}

// Moves what an archive unpacked into the media tree. The tree only ever
// holds folders made here and files moved here, never a link, so no path
// below it can lead outside.
void mergeInto(const std::string& staging, const std::string& tree) {
    for (const StagedEntry& entry : stagedEntries(staging)) {
        const fs::path target = fs::path(tree) / entry.path.lexically_relative(staging);
        clearFor(target, entry.folder);
        std::error_code ec;
        if (entry.folder) {
            fs::create_directory(target, ec);
        } else {
            fs::rename(entry.path, target, ec);
        }
        if (ec) {
            SystemLog::write(target.string() + ": not unpacked: " + ec.message());
        }
    }
}

void removeStaging(const std::string& staging) {
    std::error_code ec;
    // Folders without rights for their owner would stop the removal.
    for (fs::recursive_directory_iterator walk(staging, ec), end; !ec && walk != end;
         walk.increment(ec)) {
        if (walk->is_directory(ec) && !walk->is_symlink(ec)) {
            fs::permissions(walk->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
    }
    fs::remove_all(staging, ec);
}

// The full paths of the files below a folder, in name order. Entries whose
// path inside the folder starts with "." are left out, which hides only
// what sits hidden at the folder's top.
std::vector<std::string> mediaFilesBelow(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied,
                                          ec);
    for (; !ec && walk != fs::recursive_directory_iterator(); walk.increment(ec)) {
        const fs::directory_entry& entry = *walk;
        const std::string relative = entry.path().lexically_relative(folder).string();
        if (!relative.empty() && relative.front() == '.') {
            walk.disable_recursion_pending();
            continue;
        }
        std::error_code step;
        if (fs::is_regular_file(entry.symlink_status(step))) {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

constexpr const char* kStage = "compressWhatsAppMedia";

// A private folder for this scan's archives, with its media tree; the
// result keeps it, as exports read the unpacked files.
Status makeUnpackFolder(ScanState& state) {
    state.tempfilePath.clear();
    state.unpackFolder.reset();
    auto folder = ScratchFolder::create("vessamo-icloud");
    if (!folder) {
        return Status::ioError("Cannot create a private folder for the media archives");
    }
    state.unpackFolder = std::make_shared<ScratchFolder>(std::move(*folder));
    const std::string tree = state.unpackFolder->path() + "/" + kMediaTree;
    if (Status made = makeFolders(tree); !made.ok()) {
        return made;
    }
    state.tempfilePath = tree + "/";
    return Status();
}

// Unpacks one archive into a staging folder of its own and moves what may
// be kept into the media tree; gives what was kept, in bytes.
uint64_t unpackOne(ScanState& state, const std::string& archive, uint64_t budget) {
    const std::string root = state.unpackFolder->path();
    auto staging = makeStaging(root);
    if (!staging) {
        state.note(kStage, Status::ioError(archive + ": no room to unpack it"));
        return 0;
    }
    const UnpackBounds bounds{budget, state.unpackTimeout, state.stop};
    const UnpackReport report = unpackArchive(archive, *staging, bounds);
    uint64_t kept = 0;
    if (report.keepFiles) {
        kept = bytesBelow(*staging);
        mergeInto(*staging, root + "/" + kMediaTree);
    }
    removeStaging(*staging);
    if (!report.status.is(StatusCode::cancelled)) {
        state.note(kStage, report.status);
    }
    return kept;
}

// What all archives together may unpack: the configured bound, and never
// so much that the scratch folder's disk runs short.
uint64_t unpackBudget(const ScanState& state) {
    const uint64_t free = freeBytesAt(state.unpackFolder->path());
    if (free == 0) {
        return state.unpackLimit;  // the system does not say; the bound alone holds
    }
    return std::min(state.unpackLimit, free > kUnpackFreeMargin ? free - kUnpackFreeMargin : 0);
}

}  // namespace

Status compressWhatsAppMedia(ScanState& state, const std::string& folder) {
    if (Status made = makeUnpackFolder(state); !made.ok()) {
        return made;
    }
    uint64_t budget = unpackBudget(state);
    std::error_code ec;
    for (const char* name : kMediaArchives) {
        const std::string archive = folder + "/" + name;
        if (folder.empty() || !fs::is_regular_file(fs::symlink_status(archive, ec))) {
            continue;
        }
        if (state.stopRequested()) {
            break;
        }
        budget -= std::min(budget, unpackOne(state, archive, budget));
    }
    return Status();
}

Status scanWhatsaAppMedia(ScanState& state, const std::string& /*folder*/) {
    const std::string media = state.tempfilePath + "Media";
    std::error_code ec;
    if (state.tempfilePath.empty() || !fs::is_directory(media, ec)) {
        return Status::notFound("WhatsAppMessageDB is not exist");
    }
    for (const std::string& path : mediaFilesBelow(media)) {
        KTTreeDirNode& file = state.index.wpMediaArray.emplace_back();
        file.fileKey = state.keep(std::string_view(path));
        file.filePath = Text::borrowed(lastComponent(file.fileKey));
    }
    return Status();
}

}  // namespace vessamo
