#include "sample/SampleICloudDrive.h"

#include "sample/SampleImage.h"
#include "sample/SampleSources.h"
#include "sample/SampleTarArchive.h"

namespace vessamo::sample {

namespace {

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The archive WhatsApp puts a media file in, by its kind.
const char* archiveFor(const std::string& path) {
    if (endsWith(path, ".thumb")) {
        return "Thumbnail.tar";
    }
    if (endsWith(path, ".mp4")) {
        return "Video.tar";
    }
    return "Media.tar";
}

class ArchiveSet {
public:
    void add(const std::string& archive, const std::string& path, const std::string& content,
             ICloudDriveSample& sample) {
        archives_[archive].addFile(path, content);
        sample.unpackedFiles[path] = content;  // callers add a shared path in unpack order
    }

    [[nodiscard]] bool writeAll(const std::string& folder, ICloudDriveSample& sample) const {
        for (const char* name :
             {"Media.tar", "Media_1.tar", "Document.tar", "Video.tar", "Thumbnail.tar"}) {
            auto archive = archives_.find(name);
            if (archive == archives_.end()) {
                continue;
            }
            if (!archive->second.writeGzip(folder + "/" + name)) {
                return false;
            }
            sample.archives.push_back(name);
        }
        return true;
    }

    SampleTarArchive& operator[](const std::string& name) { return archives_[name]; }

private:
    std::map<std::string, SampleTarArchive> archives_;
};

}  // namespace

std::optional<ICloudDriveSample> writeICloudDriveBackup(const std::string& home,
                                                        const ICloudDriveOptions& options) {
    ICloudAccountOptions account;
    account.container = options.container;
    account.mediaTar = false;
    auto folder = writeICloudAccount(home, options.account, account);
    if (!folder) {
        return std::nullopt;
    }
    ICloudDriveSample sample;
    sample.backupFolder = *folder;
    sample.account = options.account;
    sample.world = makeWhatsAppSample(options.whatsApp);
    sample.conversations = sample.world.database.chats.size();
    sample.groupMembers = sample.world.database.members.size();
    sample.messages = sample.world.database.messages.size();
    const std::string chatPath = *folder + "/ChatStorage.sqlite";
    if (options.chatStorage && (!writeChatStorage(chatPath, sample.world.database) ||
                                !deleteMessages(chatPath, options.whatsApp.deleteEvery))) {
        return std::nullopt;
    }

    ArchiveSet archives;
    archives["Media.tar"].addFolder("Media/");
    for (const SampleMediaFile& file : sample.world.mediaFiles) {
        archives.add(archiveFor(file.relativePath), file.relativePath, file.content, sample);
    }
    // A second media archive holds what changed since the first was cut.
    for (const SampleMediaFile& file : sample.world.mediaFiles) {
        if (endsWith(file.relativePath, ".jpg")) {
            sample.sharedPath = file.relativePath;
            break;
        }
    }
    if (sample.sharedPath.empty()) {
        sample.sharedPath = "Media/shared/picture.jpg";
        archives.add("Media.tar", sample.sharedPath, solidColourPng(8, 8, 1, 2, 3), sample);
    }
    archives.add("Media_1.tar", sample.sharedPath, solidColourPng(10, 10, 250, 20, 20), sample);
    archives.add("Media_1.tar", "Media/Profile/owner-1642252800.jpg",
                 solidColourPng(48, 48, 90, 90, 90), sample);
    archives.add("Document.tar", "Media/Documents/Trip plan.pdf", "%PDF-1.4\n%%EOF\n", sample);
    sample.hiddenTop = "Media/.nomedia";
    sample.hiddenDeep = "Media/Documents/.sync-state";
    archives.add("Media.tar", sample.hiddenTop, "", sample);
    archives.add("Document.tar", sample.hiddenDeep, "state=1\n", sample);
    if (!archives.writeAll(*folder, sample)) {
        return std::nullopt;
    }
    return sample;
}

}  // namespace vessamo::sample
