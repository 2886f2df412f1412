#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sample/SampleEncryption.h"

namespace vessamo {
class ScratchFolder;
}

namespace vessamo::sample {

enum class CatalogueLayout {
    ManifestDb,  // iOS 10 and later: Manifest.db, files in two-level folders
    Mbdb,        // before iOS 10: Manifest.mbdb, files flat in the backup folder
};

// What the backup's Info.plist and Manifest.plist say about the device.
struct DeviceInfo {
    std::string deviceName = "Vessamo Sample iPhone";
    std::string productType = "iPhone12,1";
    std::string productVersion = "15.3.1";
    std::string buildVersion = "19D52";
    std::string serialNumber = "F17ZK0N9N72J";
    std::string uniqueIdentifier = "00008030-001A2C3E0E01802E";
    std::string itunesVersion = "12.12.4.1";
    bool encrypted = false;
    bool writeInfoPlist = true;
    bool writeManifestPlist = true;
    bool manifestHasLockdown = true;
    std::time_t backupTime = 1642252800;  // 2022-01-15 13:20:00 UTC
};

// One file the backup holds. A file that is only catalogued is listed in
// Manifest.db / Manifest.mbdb but has no data file, as happens when a backup
// was cut short.
struct SampleFile {
    std::string domain;
    std::string relativePath;
    std::string content;
    std::string sourcePath;  // when set, the data is copied from this file instead
    bool catalogueOnly = false;
    bool directory = false;
    std::time_t modified = 1642252800;
};

// Writes a device backup folder the way iTunes and Finder lay it out: real
// property lists, a real catalogue and every data file under its file key.
// Later builders add WhatsApp databases, address books and media through
// addFile().
class SampleBackupBuilder {
public:
    explicit SampleBackupBuilder(CatalogueLayout layout = CatalogueLayout::ManifestDb,
                                 DeviceInfo device = {});

    SampleBackupBuilder& addFile(std::string domain, std::string relativePath, std::string content);
    // A large file made elsewhere, copied when the backup is written.
    SampleBackupBuilder& addFileFromDisk(std::string domain, std::string relativePath,
                                         std::string sourcePath);
    SampleBackupBuilder& addCatalogueOnly(std::string domain, std::string relativePath);
    SampleBackupBuilder& addDirectory(std::string domain, std::string relativePath);
    // A Manifest.db row exactly as given, for catalogues real tools get wrong.
    SampleBackupBuilder& addRawCatalogueRow(std::string fileID, std::string domain,
                                            std::string relativePath);

    // Leaves the data of chat media out of the backup while the catalogue
    // still lists them, as real backups list media the phone offloaded, let
    // expire or never downloaded: of the files below a "Media/" folder
    // (profile pictures aside), in the order added, the first of every
    // keepEvery is kept and the rest dropped. Gives how many were dropped.
    size_t dropMediaData(size_t keepEvery);

    // Writes the backup encrypted as iTunes and Finder do when a backup
    // password is set: the key bag in Manifest.plist, every file under a key
    // of its own and, for Manifest.db, the catalogue too.
    SampleBackupBuilder& encryptWith(SampleEncryptionOptions options);
    [[nodiscard]] const std::optional<SampleEncryptionOptions>& encryption() const {
        return encryption_;
    }

    // A path in a private folder that lives as long as the builder, for
    // large files made before the backup is written.
    [[nodiscard]] std::string temporaryFile(const std::string& name);

    [[nodiscard]] CatalogueLayout layout() const { return layout_; }
    [[nodiscard]] const DeviceInfo& device() const { return device_; }
    [[nodiscard]] DeviceInfo& device() { return device_; }
    [[nodiscard]] const std::vector<SampleFile>& files() const { return files_; }

    // Writes the backup into folder (created if missing). False, with a
    // reason in *error, when anything could not be written.
    [[nodiscard]] bool write(const std::string& folder, std::string* error = nullptr) const;

    // Where a file of this backup lies once written.
    [[nodiscard]] std::string dataPath(const std::string& folder, const std::string& domain,
                                       const std::string& relativePath) const;
    // The data of a file as the backup will hold it.
    [[nodiscard]] static std::string dataOf(const SampleFile& file);
    [[nodiscard]] static uint64_t sizeOf(const SampleFile& file);
    [[nodiscard]] static std::string fileKey(const std::string& domain,
                                             const std::string& relativePath);

    struct RawRow {
        std::string fileID;
        std::string domain;
        std::string relativePath;
    };

private:
    // What an encrypted write needs besides the files: their stored keys, in
    // the order of files(), and what Manifest.plist carries.
    struct Sealing {
        SampleEncryption keys;
        std::vector<std::string> storedKeys;
        std::string manifestKey;
    };

    bool writePlists(const std::string& folder, const Sealing* sealing, std::string* error) const;
    bool writeDataFiles(const std::string& folder, Sealing* sealing, std::string* error) const;
    bool writeCatalogue(const std::string& folder, Sealing* sealing, std::string* error) const;

    CatalogueLayout layout_;
    DeviceInfo device_;
    std::vector<SampleFile> files_;
    std::vector<RawRow> rawRows_;
    std::optional<SampleEncryptionOptions> encryption_;
    std::shared_ptr<ScratchFolder> scratch_;
};

}  // namespace vessamo::sample
