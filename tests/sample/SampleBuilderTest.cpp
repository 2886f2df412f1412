#include <gtest/gtest.h>

#include <filesystem>

#include "backup/SHAH.h"
#include "common/PlistValue.h"
#include "common/SqliteDatabase.h"
#include "sample/SampleCatalogueWriter.h"
#include "sample/SampleImage.h"
#include "sample/SampleSources.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using sample::CatalogueLayout;
using sample::SampleBackupBuilder;

PlistValue::Bytes bytesOf(const std::string& text) {
    return PlistValue::Bytes(text.begin(), text.end());
}

TEST(SampleBuilder, WritesThePlistsRealBackupsCarry) {
    test::TempHome home;
    sample::DeviceInfo device;
    device.encrypted = true;
    const std::string folder = home.path() + "/b";
    ASSERT_TRUE(sample::whatsAppBackup(CatalogueLayout::ManifestDb, device).write(folder));

    const std::string info = test::readFile(folder + "/Info.plist");
    EXPECT_EQ(info.rfind("<?xml", 0), 0u);
    auto infoValue = PlistValue::fromBytes(bytesOf(info));
    ASSERT_TRUE(infoValue);
    EXPECT_EQ(infoValue->stringFor("Device Name"), device.deviceName);
    EXPECT_EQ(infoValue->stringFor("Product Version"), device.productVersion);

    const std::string manifest = test::readFile(folder + "/Manifest.plist");
    EXPECT_EQ(manifest.rfind("bplist00", 0), 0u);
    auto manifestValue = PlistValue::fromBytes(bytesOf(manifest));
    ASSERT_TRUE(manifestValue);
    EXPECT_EQ(manifestValue->find("IsEncrypted")->asBoolean(), true);
    const PlistValue* lockdown = manifestValue->find("Lockdown");
    ASSERT_NE(lockdown, nullptr);
    EXPECT_EQ(lockdown->stringFor("ProductType"), device.productType);
    EXPECT_EQ(lockdown->stringFor("SerialNumber"), device.serialNumber);
}

TEST(SampleBuilder, ManifestDbRowsCarryAKeyedArchiveOfTheFile) {
    test::TempHome home;
    const std::string folder = home.path() + "/b";
    const std::string domain = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";
    SampleBackupBuilder builder(CatalogueLayout::ManifestDb);
    builder.addFile(domain, "ChatStorage.sqlite", std::string(1234, 'z'));
    ASSERT_TRUE(builder.write(folder));

    const std::string key = "7c7fba66680ef796b916b067077cc246adacf01d";
    EXPECT_EQ(test::readFile(folder + "/7c/" + key), std::string(1234, 'z'));
    fs::copy_file(folder + "/Manifest.db", home.path() + "/read.db");
    SqliteDatabase db;
    ASSERT_EQ(db.open(home.path() + "/read.db", SqliteDatabase::Mode::ReadOnly), SQLITE_OK);
    SqliteStatement row;
    ASSERT_EQ(row.prepare(db, "select fileID,domain,relativePath,flags,file from Files"),
              SQLITE_OK);
    ASSERT_EQ(row.step(), SQLITE_ROW);
    EXPECT_EQ(row.columnText(0), key);
    EXPECT_EQ(row.columnInt64(3), 1);

    auto archive = PlistValue::fromBytes(bytesOf(row.columnBlob(4)));
    ASSERT_TRUE(archive);
    EXPECT_EQ(archive->stringFor("$archiver"), "NSKeyedArchiver");
    const auto* objects = archive->find("$objects")->asArray();
    ASSERT_NE(objects, nullptr);
    auto root = archive->find("$top")->find("root")->asUid();
    ASSERT_TRUE(root);
    const PlistValue& file = (*objects)[*root];
    EXPECT_EQ(file.find("Size")->asInteger(), 1234);
    EXPECT_EQ(file.find("Mode")->asInteger(), 0100644);
    auto pathIndex = file.find("RelativePath")->asUid();
    ASSERT_TRUE(pathIndex);
    EXPECT_EQ(*(*objects)[*pathIndex].asString(), "ChatStorage.sqlite");
    auto classIndex = file.find("$class")->asUid();
    ASSERT_TRUE(classIndex);
    EXPECT_EQ((*objects)[*classIndex].stringFor("$classname"), "MBFile");
}

TEST(SampleBuilder, MbdbLayoutIsFlatWithTheVersionFiveMagic) {
    test::TempHome home;
    const std::string folder = home.path() + "/b";
    ASSERT_TRUE(sample::whatsAppBackup(CatalogueLayout::Mbdb).write(folder));
    EXPECT_EQ(test::readFile(folder + "/Manifest.mbdb").substr(0, 6),
              std::string("mbdb\x05\x00", 6));
    EXPECT_TRUE(fs::is_regular_file(folder + "/1b6b187a1b60b9ae8b720c79e2c67f472bab09c0"));
    EXPECT_FALSE(fs::exists(folder + "/1b"));
}

TEST(SampleBuilder, ImagesAreRealPngs) {
    std::string png = sample::solidColourPng(3, 2, 1, 2, 3);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    // IHDR carries the size; the IEND chunk with its fixed CRC closes the file.
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(png.substr(16, 8), std::string("\0\0\0\x03\0\0\0\x02", 8));
    EXPECT_EQ(png.substr(png.size() - 12), std::string("\0\0\0\0IEND\xAE\x42\x60\x82", 12));
}

}  // namespace
}  // namespace vessamo
