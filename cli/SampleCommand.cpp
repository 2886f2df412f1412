#include "SampleCommand.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <ostream>

#include "PasswordInput.h"
#include "sample/SampleICloudDrive.h"
#include "sample/SampleSources.h"
#include "sample/SampleTimeline.h"

namespace vessamo::cli {

namespace fs = std::filesystem;

namespace {

bool isEmptyOrMissing(const std::string& folder) {
    std::error_code ec;
    if (!fs::exists(folder, ec)) {
        return true;
    }
    return fs::is_directory(folder, ec) && fs::is_empty(folder, ec);
}

// The benchmark's million-message world (one chat per two hundred
// messages, 4,800 chats, 200 groups, 6,000 people, 2,000 calls, tiny media on
// every tenth message) scaled to the messages asked for, never below the
// everyday sample's few people and chats. Nothing is deleted: the database
// holds every message asked for.
sample::WhatsAppSampleOptions scaledWorld(size_t messages) {
    sample::WhatsAppSampleOptions world;
    world.messages = messages;
    world.chats = std::clamp<size_t>(messages / 200, 5, 4800);
    world.groups = std::clamp<size_t>(messages / 5000, 2, 200);
    world.people = std::clamp<size_t>(world.chats * 5 / 4, 10, 6000);
    world.addressBook = std::clamp<size_t>(world.people / 3, 7, 2000);
    world.otherContacts = 0;
    world.calls = std::clamp<size_t>(messages / 500, 12, 2000);
    world.mediaEvery = 10;
    world.smallMedia = messages > 2000;
    return world;
}

sample::WhatsAppSampleOptions worldOf(const SampleOptions& options) {
    if (options.messages != 0) {
        return scaledWorld(options.messages);
    }
    sample::WhatsAppSampleOptions world;
    world.deleteEvery = 9;  // something for deleted-message recovery to find
    return world;
}

int writeOtherKind(const SampleOptions& options, std::ostream& out, std::ostream& err) {
    const sample::WhatsAppSampleOptions world = worldOf(options);
    if (options.kind == "icloud") {
        sample::ICloudDriveOptions account;
        account.whatsApp = world;
        const auto written = sample::writeICloudDriveBackup(options.folder, account);
        if (!written) {
            err << "Could not write the sample iCloud Drive account into " << options.folder
                << '\n';
            return 1;
        }
        out << "Wrote a sample iCloud Drive WhatsApp account (" << written->conversations
            << " chats, " << written->messages << " messages); its backup folder is "
            << written->backupFolder << '\n';
        return 0;
    }
    sample::TimelineSampleOptions timeline;
    timeline.whatsApp = world;
    std::string error;
    const auto written = sample::writeTimelineSample(options.folder, timeline, &error);
    if (!written) {
        err << "Could not write the sample Timeline backup: " << error << '\n';
        return 1;
    }
    out << "Wrote a sample Timeline backup (" << written->files.size() << " files) to "
        << options.folder << '\n';
    return 0;
}

}  // namespace

int runSample(const SampleOptions& options, std::ostream& out, std::ostream& err) {
    if (!isEmptyOrMissing(options.folder)) {
        err << "Refusing to write into " << options.folder
            << ": it exists and is not an empty folder.\n";
        return 2;
    }
    if (options.kind != "itunes") {
        return writeOtherKind(options, out, err);
    }
    sample::CatalogueLayout layout = sample::CatalogueLayout::ManifestDb;
    if (options.layout == "mbdb" ||
        (options.layout.empty() && std::atoi(options.iosVersion.c_str()) < 10)) {
        layout = sample::CatalogueLayout::Mbdb;
    }
    sample::DeviceInfo device;
    device.deviceName = options.name;
    device.productVersion = options.iosVersion;
    device.backupTime = std::time(nullptr);  // a backup written now was made now
    auto builder = sample::whatsAppBackup(layout, device, worldOf(options));
    sample::addChatPictures(builder, options.extraMedia);
    const size_t offloaded =
        options.keepMediaEvery > 1 ? builder.dropMediaData(options.keepMediaEvery) : 0;
    if (!options.passwordFile.empty()) {
        std::optional<SecretBytes> password = readBackupPassword(options.passwordFile, err);
        if (!password) {
            return 1;
        }
        sample::SampleEncryptionOptions encryption;
        encryption.password.assign(reinterpret_cast<const char*>(password->view().data()),
                                   password->size());
        encryption.dataProtectionRounds = options.passwordRounds;
        // The SHA-256 step came with iOS 10.2; Manifest.mbdb backups predate it.
        encryption.dataProtection = layout == sample::CatalogueLayout::ManifestDb;
        builder.encryptWith(std::move(encryption));
    }
    std::string error;
    if (!builder.write(options.folder, &error)) {
        err << "Could not write the sample backup: " << error << '\n';
        return 1;
    }
    out << "Wrote a sample backup of \"" << options.name << "\" (iOS " << options.iosVersion << ", "
        << (layout == sample::CatalogueLayout::Mbdb ? "Manifest.mbdb" : "Manifest.db") << ", "
        << builder.files().size() << " catalogued files";
    if (builder.encryption()) {
        out << ", encrypted";
    }
    if (offloaded > 0) {
        out << ", " << offloaded << " media files catalogued without their data";
    }
    out << ") to " << options.folder << '\n';
    return 0;
}

}  // namespace vessamo::cli
