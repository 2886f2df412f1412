#include "whatsapp/ICloudMediaUnpacker.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "common/ChildProcess.h"
#include "common/SystemLog.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

constexpr const char* kMediaTree = "media";

std::string tarProgram() {
    if (::access("/usr/bin/tar", X_OK) == 0) {
        return "/usr/bin/tar";
    }
    return ChildProcess::findOnPath("tar").value_or("/usr/bin/tar");
}

// A relative path starting with "-" would read as an option.
std::string asArgument(const std::string& path) {
    return !path.empty() && path.front() == '/' ? path : "./" + path;
}

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

bool unpack(const std::string& archive, const std::string& staging,
            const MediaUnpackOptions& options) {
    // GNU tar and bsdtar both refuse ".." members, strip a leading "/" and
    // keep links from being written through; owners and modes of the
    // archive are not taken over.
    const ChildProcess::Result run =
        ChildProcess::run(tarProgram(),
                          {"-x", "-z", "-f", asArgument(archive), "-C", asArgument(staging),
                           "--no-same-owner", "--no-same-permissions"},
                          options.timeout, ChildProcess::Output::capture);
    if (!run.succeeded()) {
        SystemLog::write(archive + ": tar " + run.describeFailure() + "; none of its files kept");
        return false;
    }
    return true;
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

}  // namespace

const std::vector<std::string>& iCloudMediaArchives() {
    static const std::vector<std::string> archives = {
        "Media.tar", "Media_1.tar", "Document.tar", "Document_1.tar", "Video.tar", "Thumbnail.tar"};
    return archives;
}

void compressWhatsAppMedia(ScanState& state, const std::string& folder) {
    compressWhatsAppMedia(state, folder, MediaUnpackOptions{});
}

void compressWhatsAppMedia(ScanState& state, const std::string& folder,
                           const MediaUnpackOptions& options) {
    state.tempfilePath.clear();
    state.unpackFolder.reset();  // the last iCloud scan's files go first
    state.unpackFolder = ScratchFolder::create("vessamo-icloud");
    if (!state.unpackFolder) {
        SystemLog::write("Cannot create a private folder for the media archives");
        return;
    }
    const std::string root = state.unpackFolder->path();
    const std::string tree = root + "/" + kMediaTree;
    std::error_code ec;
    if (!fs::create_directory(tree, ec)) {
        SystemLog::write(tree + ": cannot be made: " + ec.message());
        return;
    }
    state.tempfilePath = tree + "/";
    for (const std::string& name : iCloudMediaArchives()) {
        const std::string archive = folder + "/" + name;
        if (folder.empty() || !fs::is_regular_file(archive, ec)) {
            continue;
        }
        auto staging = makeStaging(root);
        if (!staging) {
            SystemLog::write(archive + ": no room to unpack it");
            continue;
        }
        if (unpack(archive, *staging, options)) {
            mergeInto(*staging, tree);
        }
        removeStaging(*staging);
    }
}

std::vector<KTTreeDirNode> listMediaFiles(const std::string& folder) {
    std::vector<KTTreeDirNode> files;
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
            KTTreeDirNode file;
            file.fileKey = entry.path().string();
            file.filePath = entry.path().filename().string();
            files.push_back(std::move(file));
        }
    }
    std::sort(files.begin(), files.end(),
              [](const KTTreeDirNode& a, const KTTreeDirNode& b) { return a.fileKey < b.fileKey; });
    return files;
}

void scanWhatsaAppMedia(ScanState& state, const std::string& /*folder*/) {
    const std::string media = state.tempfilePath + "Media";
    std::error_code ec;
    if (state.tempfilePath.empty() || !fs::is_directory(media, ec)) {
        SystemLog::write("WhatsAppMessageDB is not exist");
        return;
    }
    for (KTTreeDirNode& file : listMediaFiles(media)) {
        state.whatsAppResourceArray.push_back(file);
        state.index.wpMediaArray.push_back(std::move(file));
    }
}

}  // namespace vessamo
