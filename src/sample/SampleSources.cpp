#include "sample/SampleSources.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "backup/BackupFileIndex.h"
#include "common/PlistValue.h"
#include "common/ScratchFolder.h"
#include "common/SqliteDatabase.h"
#include "sample/SampleImage.h"

namespace vessamo::sample {

namespace fs = std::filesystem;

namespace {

const std::string kShared(kWhatsAppGroupDomain);
const std::string kApp(kWhatsAppDomain);
const std::string kBusinessShared(kBusinessGroupDomain);

// The bytes of a small real SQLite database holding one Core Data metadata
// row, the first table every WhatsApp database carries.
std::string coreDataDatabase(const std::string& entityHint) {
    auto scratch = ScratchFolder::create("vessamo-sample");
    if (!scratch) {
        return {};
    }
    std::string path = scratch->uniquePath("db.sqlite");
    {
        SqliteDatabase db;
        if (db.open(path, SqliteDatabase::Mode::Create) != SQLITE_OK) {
            return {};
        }
        std::string sql =
            "PRAGMA synchronous=OFF; CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, "
            "Z_UUID VARCHAR(255), "
            "Z_PLIST BLOB);"
            "INSERT INTO Z_METADATA VALUES (1, '" +
            entityHint + "', NULL);";
        if (db.execute(sql) != SQLITE_OK) {
            return {};
        }
    }
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string preferencesPlist(const std::string& ownJid) {
    PlistValue::Dictionary prefs;
    prefs["OwnJabberID"] = PlistValue::string(ownJid);
    prefs["FullUserName"] = PlistValue::string("Sample Owner");
    auto bytes = PlistValue::dictionary(std::move(prefs)).toBinary();
    return std::string(bytes.begin(), bytes.end());
}

void addMedia(SampleBackupBuilder& builder) {
    const std::string chat = "Message/Media/491701234567@s.whatsapp.net";
    builder.addDirectory(kShared, "Message");
    builder.addDirectory(kShared, "Message/Media");
    builder.addDirectory(kShared, chat);
    builder.addFile(kShared, chat + "/4/1/41f0a9d2-6c1e-4b3f-9a53-7f3b2c8d1e01.jpg",
                    solidColourPng(64, 48, 0x25, 0xD3, 0x66));
    builder.addFile(kShared, chat + "/4/1/41f0a9d2-6c1e-4b3f-9a53-7f3b2c8d1e01.jpg.thumb",
                    solidColourPng(16, 12, 0x25, 0xD3, 0x66));
    builder.addFile(kShared, "Media/Profile/491701234567-1642252800.thumb",
                    solidColourPng(32, 32, 0x12, 0x8C, 0x7E));
    // Catalogued but never copied, as when a backup was interrupted.
    builder.addCatalogueOnly(kShared, chat + "/a/b/ab0e1f2a-0000-4000-8000-000000000001.jpg");
}

}  // namespace

SampleBackupBuilder whatsAppBackup(CatalogueLayout layout, DeviceInfo device) {
    SampleBackupBuilder builder(layout, std::move(device));
    builder.addDirectory(kShared, "");
    builder.addFile(kShared, "ChatStorage.sqlite", coreDataDatabase("ChatStorage"));
    builder.addFile(kShared, "Contacts.sqlite", coreDataDatabase("Contacts"));
    builder.addFile(kShared, "CallHistory.sqlite", coreDataDatabase("CallHistory"));
    builder.addFile(kShared, "Library/Preferences/group.net.whatsapp.WhatsApp.shared.plist",
                    preferencesPlist("491609876543@s.whatsapp.net"));
    builder.addFile(kApp, "Library/Preferences/net.whatsapp.WhatsApp.plist",
                    preferencesPlist("491609876543@s.whatsapp.net"));
    addMedia(builder);
    if (layout == CatalogueLayout::ManifestDb) {
        builder.addFile(kBusinessShared, "ChatStorage.sqlite", coreDataDatabase("ChatStorage"));
    }
    builder.addFile("HomeDomain", "Library/Preferences/com.apple.springboard.plist",
                    preferencesPlist("unrelated"));
    builder.addFile("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG",
                    solidColourPng(8, 8, 200, 120, 40));
    return builder;
}

void addChatPictures(SampleBackupBuilder& builder, size_t count) {
    const std::string picture = solidColourPng(16, 16, 0x34, 0xB7, 0xF1);
    for (size_t i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof(name), "/%x/%x/%08zx-5a1e-4c2d-9b7f-picture.jpg",
                      static_cast<unsigned>(i % 16), static_cast<unsigned>((i / 16) % 16), i);
        std::string chat =
            "Message/Media/4917" + std::to_string(10000000 + i % 50) + "@s.whatsapp.net";
        builder.addFile(kShared, chat + name, picture);
    }
}

std::string backupRootOf(const std::string& home) {
    return home + "/Library/Application Support/MobileSync/Backup";
}

std::optional<std::string> writeICloudAccount(const std::string& home, const std::string& account,
                                              const ICloudAccountOptions& options) {
    const std::string folder = home + "/Library/Mobile Documents/" + options.container +
                               "/Accounts/" + account + "/backup";
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        return std::nullopt;
    }
    if (options.backupPlist) {
        PlistValue::Dictionary backup;
        if (options.date) {
            backup["Date"] =
                PlistValue::date(PlistDate::fromUnixTime(static_cast<double>(*options.date)));
        }
        backup["BackupVersion"] = PlistValue::integer(1);
        if (!PlistValue::dictionary(std::move(backup)).writeBinaryFile(folder + "/Backup.plist")) {
            return std::nullopt;
        }
    }
    if (options.mediaTar) {
        // An empty tar archive is two zero blocks.
        std::ofstream out(folder + "/Media.tar", std::ios::binary);
        out << std::string(1024, '\0');
        if (!out) {
            return std::nullopt;
        }
    }
    return folder;
}

}  // namespace vessamo::sample
