#include "sample/SampleBackupBuilder.h"

#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <fstream>

#include "backup/SHAH.h"
#include "common/PlistValue.h"
#include "common/ScratchFolder.h"
#include "sample/SampleCatalogueWriter.h"

namespace vessamo::sample {

namespace fs = std::filesystem;

namespace {

bool fail(std::string* error, std::string reason) {
    if (error != nullptr) {
        *error = std::move(reason);
    }
    return false;
}

bool writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

void setModified(const std::string& path, std::time_t when) {
    utimbuf times{when, when};
    utime(path.c_str(), &times);
}

PlistValue infoPlist(const DeviceInfo& device) {
    PlistValue::Dictionary info;
    info["Build Version"] = PlistValue::string(device.buildVersion);
    info["Device Name"] = PlistValue::string(device.deviceName);
    info["Display Name"] = PlistValue::string(device.deviceName);
    info["GUID"] = PlistValue::string("3F1C8A52E0B94D7C8E2A6B1D9F04C3E7");
    info["Last Backup Date"] =
        PlistValue::date(PlistDate::fromUnixTime(static_cast<double>(device.backupTime)));
    info["Product Name"] = PlistValue::string("iPhone 11");
    info["Product Type"] = PlistValue::string(device.productType);
    info["Product Version"] = PlistValue::string(device.productVersion);
    info["Serial Number"] = PlistValue::string(device.serialNumber);
    info["Target Identifier"] = PlistValue::string(device.uniqueIdentifier);
    info["Target Type"] = PlistValue::string("Device");
    info["Unique Identifier"] = PlistValue::string(device.uniqueIdentifier);
    info["iTunes Version"] = PlistValue::string(device.itunesVersion);
    return PlistValue::dictionary(std::move(info));
}

PlistValue::Bytes plistBytes(const std::string& text) {
    return {text.begin(), text.end()};
}

PlistValue manifestPlist(const DeviceInfo& device) {
    PlistValue::Dictionary manifest;
    manifest["Version"] = PlistValue::string("10.0");
    manifest["SystemDomainsVersion"] = PlistValue::string("24.0");
    manifest["Date"] =
        PlistValue::date(PlistDate::fromUnixTime(static_cast<double>(device.backupTime)));
    manifest["IsEncrypted"] = PlistValue::boolean(device.encrypted);
    manifest["WasPasscodeSet"] = PlistValue::boolean(false);
    if (device.manifestHasLockdown) {
        PlistValue::Dictionary lockdown;
        lockdown["DeviceName"] = PlistValue::string(device.deviceName);
        lockdown["ProductType"] = PlistValue::string(device.productType);
        lockdown["ProductVersion"] = PlistValue::string(device.productVersion);
        lockdown["BuildVersion"] = PlistValue::string(device.buildVersion);
        lockdown["SerialNumber"] = PlistValue::string(device.serialNumber);
        lockdown["UniqueDeviceID"] = PlistValue::string(device.uniqueIdentifier);
        manifest["Lockdown"] = PlistValue::dictionary(std::move(lockdown));
    }
    PlistValue::Dictionary whatsapp;
    whatsapp["CFBundleIdentifier"] = PlistValue::string("net.whatsapp.WhatsApp");
    whatsapp["CFBundleVersion"] = PlistValue::string("22.1.76");
    PlistValue::Dictionary applications;
    applications["net.whatsapp.WhatsApp"] = PlistValue::dictionary(std::move(whatsapp));
    manifest["Applications"] = PlistValue::dictionary(std::move(applications));
    return PlistValue::dictionary(std::move(manifest));
}

}  // namespace

SampleBackupBuilder::SampleBackupBuilder(CatalogueLayout layout, DeviceInfo device)
    : layout_(layout), device_(std::move(device)) {}

SampleBackupBuilder& SampleBackupBuilder::addFile(std::string domain, std::string relativePath,
                                                  std::string content) {
    SampleFile file;
    file.domain = std::move(domain);
    file.relativePath = std::move(relativePath);
    file.content = std::move(content);
    files_.push_back(std::move(file));
    return *this;
}

SampleBackupBuilder& SampleBackupBuilder::addFileFromDisk(std::string domain,
                                                          std::string relativePath,
                                                          std::string sourcePath) {
    addFile(std::move(domain), std::move(relativePath), {});
    files_.back().sourcePath = std::move(sourcePath);
    return *this;
}

size_t SampleBackupBuilder::dropMediaData(size_t keepEvery) {
    size_t seen = 0;
    size_t dropped = 0;
    for (SampleFile& file : files_) {
        const bool chatMedia = file.relativePath.find("Media/") != std::string::npos &&
                               file.relativePath.find("Media/Profile/") == std::string::npos;
        if (file.directory || file.catalogueOnly || !chatMedia) {
            continue;
        }
        if (keepEvery == 0 || seen++ % keepEvery != 0) {
            file.catalogueOnly = true;
            ++dropped;
        }
    }
    return dropped;
}

std::string SampleBackupBuilder::temporaryFile(const std::string& name) {
    if (!scratch_) {
        auto folder = ScratchFolder::create("vessamo-sample");
        if (!folder) {
            return {};
        }
        scratch_ = std::make_shared<ScratchFolder>(std::move(*folder));
    }
    return scratch_->uniquePath(name);
}

std::string SampleBackupBuilder::dataOf(const SampleFile& file) {
    if (file.sourcePath.empty()) {
        return file.content;
    }
    std::ifstream in(file.sourcePath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint64_t SampleBackupBuilder::sizeOf(const SampleFile& file) {
    if (file.sourcePath.empty()) {
        return file.content.size();
    }
    std::error_code ec;
    auto size = fs::file_size(file.sourcePath, ec);
    return ec ? 0 : size;
}

SampleBackupBuilder& SampleBackupBuilder::addCatalogueOnly(std::string domain,
                                                           std::string relativePath) {
    addFile(std::move(domain), std::move(relativePath), {});
    files_.back().catalogueOnly = true;
    return *this;
}

SampleBackupBuilder& SampleBackupBuilder::addDirectory(std::string domain,
                                                       std::string relativePath) {
    addCatalogueOnly(std::move(domain), std::move(relativePath));
    files_.back().directory = true;
    return *this;
}

SampleBackupBuilder& SampleBackupBuilder::addRawCatalogueRow(std::string fileID, std::string domain,
                                                             std::string relativePath) {
    rawRows_.push_back(RawRow{std::move(fileID), std::move(domain), std::move(relativePath)});
    return *this;
}

std::string SampleBackupBuilder::fileKey(const std::string& domain,
                                         const std::string& relativePath) {
    return SHAH::hexOf(domain + "-" + relativePath);
}

std::string SampleBackupBuilder::dataPath(const std::string& folder, const std::string& domain,
                                          const std::string& relativePath) const {
    std::string key = fileKey(domain, relativePath);
    if (layout_ == CatalogueLayout::Mbdb) {
        return folder + "/" + key;
    }
    return folder + "/" + key.substr(0, 2) + "/" + key;
}

SampleBackupBuilder& SampleBackupBuilder::encryptWith(SampleEncryptionOptions options) {
    encryption_ = std::move(options);
    device_.encrypted = true;
    return *this;
}

bool SampleBackupBuilder::write(const std::string& folder, std::string* error) const {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        return fail(error, "cannot create " + folder + ": " + ec.message());
    }
    std::optional<Sealing> sealing;
    if (encryption_) {
        auto keys = SampleEncryption::make(*encryption_);
        if (!keys) {
            return fail(error, "cannot make the keys of an encrypted backup");
        }
        sealing.emplace(Sealing{std::move(*keys), {}, {}});
    }
    Sealing* sealed = sealing ? &*sealing : nullptr;
    return writeDataFiles(folder, sealed, error) && writeCatalogue(folder, sealed, error) &&
           writePlists(folder, sealed, error);
}

bool SampleBackupBuilder::writeCatalogue(const std::string& folder, Sealing* sealing,
                                         std::string* error) const {
    const std::vector<std::string> noKeys;
    const std::vector<std::string>& keys = sealing != nullptr ? sealing->storedKeys : noKeys;
    if (layout_ == CatalogueLayout::Mbdb) {
        return writeManifestMbdb(folder + "/Manifest.mbdb", files_, error, keys);
    }
    if (sealing == nullptr) {
        return writeManifestDb(folder + "/Manifest.db", files_, rawRows_, error);
    }
    // The catalogue is made plain in a private folder, then sealed with a
    // key of its own that Manifest.plist carries wrapped.
    auto scratch = ScratchFolder::create("vessamo-sample");
    auto key = sealing->keys.newFileKey(SampleEncryption::kManifestClass);
    if (!scratch || !key) {
        return fail(error, "cannot make the catalogue's key");
    }
    const std::string plainPath = scratch->path() + "/Manifest.db";
    if (!writeManifestDb(plainPath, files_, rawRows_, error, keys)) {
        return false;
    }
    std::ifstream in(plainPath, std::ios::binary);
    const std::string plain{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    StatusOr<std::string> sealed = aesCbcEncrypt(key->key.view(), plain);
    if (!sealed.ok() || !writeBytes(folder + "/Manifest.db", *sealed)) {
        return fail(error, "cannot write the encrypted " + folder + "/Manifest.db");
    }
    sealing->manifestKey = key->stored;
    return true;
}

bool SampleBackupBuilder::writeDataFiles(const std::string& folder, Sealing* sealing,
                                         std::string* error) const {
    for (const SampleFile& file : files_) {
        std::optional<SampleEncryption::FileKey> key;
        if (sealing != nullptr) {
            // Every file has its key in the catalogue, data or not, as iOS
            // keys a file when it is made.
            key = sealing->keys.newFileKey(SampleEncryption::kFileClass);
            if (!key) {
                return fail(error, "cannot make a file key");
            }
            sealing->storedKeys.push_back(file.directory ? std::string() : key->stored);
        }
        if (file.catalogueOnly) {
            continue;
        }
        std::string path = dataPath(folder, file.domain, file.relativePath);
        std::error_code ec;
        fs::create_directories(fs::path(path).parent_path(), ec);
        bool written = false;
        if (!ec && key) {
            StatusOr<std::string> sealed = aesCbcEncrypt(key->key.view(), dataOf(file));
            written = sealed.ok() && writeBytes(path, *sealed);
        } else if (!ec && !file.sourcePath.empty()) {
            fs::copy_file(file.sourcePath, path, fs::copy_options::overwrite_existing, ec);
            written = !ec;
        } else if (!ec) {
            written = writeBytes(path, file.content);
        }
        if (!written) {
            return fail(error, "cannot write " + path);
        }
        setModified(path, file.modified);
    }
    return true;
}

bool SampleBackupBuilder::writePlists(const std::string& folder, const Sealing* sealing,
                                      std::string* error) const {
    if (device_.writeInfoPlist) {
        const std::string path = folder + "/Info.plist";
        if (!infoPlist(device_).writeXmlFile(path)) {
            return fail(error, "cannot write " + path);
        }
        setModified(path, device_.backupTime);
    }
    if (device_.writeManifestPlist) {
        const std::string path = folder + "/Manifest.plist";
        PlistValue manifest = manifestPlist(device_);
        if (sealing != nullptr) {
            manifest.set("BackupKeyBag", PlistValue::data(plistBytes(sealing->keys.keyBag())));
            if (!sealing->manifestKey.empty()) {
                manifest.set("ManifestKey", PlistValue::data(plistBytes(sealing->manifestKey)));
            }
        }
        if (!manifest.writeBinaryFile(path)) {
            return fail(error, "cannot write " + path);
        }
        setModified(path, device_.backupTime);
    }
    std::string status = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>BackupState</key>
	<string>new</string>
	<key>IsFullBackup</key>
	<false/>
	<key>SnapshotState</key>
	<string>finished</string>
	<key>Version</key>
	<string>3.3</string>
</dict>
</plist>
)";
    if (!writeBytes(folder + "/Status.plist", status)) {
        return fail(error, "cannot write Status.plist");
    }
    return true;
}

}  // namespace vessamo::sample
