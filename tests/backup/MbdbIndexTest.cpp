#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <set>
#include <span>
#include <utility>
#include <vector>

#include "backup/BackupIndexReaders.h"
#include "backup/MbdbRecordParser.h"
#include "common/NotificationCenter.h"
#include "sample/SampleSources.h"
#include "support/IndexRun.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using sample::CatalogueLayout;
using sample::SampleBackupBuilder;

const std::string kShared = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";
const std::string kApp = "AppDomain-net.whatsapp.WhatsApp";

using test::IndexRun;

// Hand-written mbdb records for the cases no builder would make.
std::string beString(const std::string& text) {
    std::string out;
    out += static_cast<char>(text.size() >> 8);
    out += static_cast<char>(text.size() & 0xFF);
    return out + text;
}

std::string record(const std::string& domain, const std::string& path,
                   const std::string& domainField = "") {
    std::string out = domainField.empty() ? beString(domain) : domainField;
    out += beString(path);
    out += std::string("\xFF\xFF\xFF\xFF\xFF\xFF", 6);  // link, hash, key absent
    out += std::string(39, '\0');
    out += '\x01';  // one property
    out += beString("com.apple.assetsd.UUID") + beString("0123");
    return out;
}

const std::string kMagic("mbdb\x05\x00", 6);

class MbdbIndex : public ::testing::Test {
protected:
    test::TempHome home;
    std::string folder = home.backupRoot() + "/old-device";
};

TEST_F(MbdbIndex, KeepsOnlyTheTwoClassicDomainsInTheFlatLayout) {
    auto builder = sample::whatsAppBackup(CatalogueLayout::Mbdb);
    builder.addFile("AppDomainGroup-group.net.whatsapp.WhatsAppSMB.shared", "ChatStorage.sqlite",
                    "business");
    ASSERT_TRUE(builder.write(folder));

    IndexRun run;
    run.run(folder, false);
    ASSERT_FALSE(run.index.whatsAppFileArray.empty());
    for (const KTTreeDirNode& entry : run.index.whatsAppFileArray) {
        EXPECT_TRUE(entry.fileDomain == kShared || entry.fileDomain == kApp) << entry.fileDomain;
        EXPECT_EQ(entry.fileKey,
                  folder + "/" + SampleBackupBuilder::fileKey(entry.fileDomain, entry.filePath));
    }
    // Old backups keep the chat database in the app's own container.
    EXPECT_EQ(run.index.whatsAppChatPath, "");
    EXPECT_EQ(run.index.getFileKeyBytheFilepath("Documents/ChatStorage.sqlite"),
              folder + "/1b6b187a1b60b9ae8b720c79e2c67f472bab09c0");
    // Only the Manifest.db reader decides the media layout.
    EXPECT_FALSE(run.index.bNewAppVersion);
    EXPECT_TRUE(std::is_sorted(run.progress.begin(), run.progress.end()));
    EXPECT_LE(run.progress.back(), 20);
}

TEST_F(MbdbIndex, StringsAbsentEmptyAndTooLong) {
    fs::create_directories(folder);
    const std::string longPath = "Library/" + std::string(300, 'x');
    const std::string cutPath = longPath.substr(0, 259);
    std::string bytes = kMagic;
    bytes += record("", "ChatStorage.sqlite", std::string("\xFF\xFF", 2));  // absent domain
    bytes += record(kShared, longPath);
    bytes += record(kShared, "Contacts.sqlite");
    test::writeFile(folder + "/Manifest.mbdb", bytes);
    test::writeFile(folder + "/" + SampleBackupBuilder::fileKey(kShared, cutPath), "cut");
    test::writeFile(folder + "/" + SampleBackupBuilder::fileKey(kShared, "Contacts.sqlite"), "c");
    test::writeFile(folder + "/" + SampleBackupBuilder::fileKey("", "ChatStorage.sqlite"), "x");

    IndexRun run;
    run.run(folder, false);
    // The domain-less record is dropped; the long path is kept cut, and the
    // record after it is still read from the right place.
    ASSERT_EQ(run.index.whatsAppFileArray.size(), 2u);
    EXPECT_EQ(run.index.whatsAppFileArray[0].filePath, cutPath);
    EXPECT_EQ(run.index.whatsAppFileArray[1].filePath, "Contacts.sqlite");
    EXPECT_EQ(run.index.whatsAppChatPath, "");
    EXPECT_EQ(run.progress.back(), 20);
}

TEST(MbdbParser, AbsentStringConsumesOnlyItsLength) {
    std::string bytes = kMagic + record("", "ChatStorage.sqlite", std::string("\xFF\xFF", 2));
    std::span<const uint8_t> span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    MbdbRecordParser parser(span);
    ASSERT_TRUE(parser.readHeader());
    auto parsed = parser.next();
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->domain, "");
    EXPECT_EQ(parsed->path, "ChatStorage.sqlite");
    EXPECT_EQ(parsed->endOffset, bytes.size());
    EXPECT_TRUE(parser.atEnd());
    EXPECT_FALSE(parser.next());
}

TEST_F(MbdbIndex, OtherVersionsAndGarbageGiveAnEmptyIndex) {
    fs::create_directories(folder);
    for (const std::string& bytes :
         {std::string("mbdb\x04\x00", 6) + record(kShared, "ChatStorage.sqlite"),
          std::string("mbdb"), std::string(), std::string(5000, '\xFF')}) {
        test::writeFile(folder + "/Manifest.mbdb", bytes);
        IndexRun run;
        run.run(folder, false);
        EXPECT_TRUE(run.index.whatsAppFileArray.empty());
        EXPECT_TRUE(run.index.whatsAppChatPath.empty());
    }
    fs::remove(folder + "/Manifest.mbdb");
    IndexRun missing;
    missing.run(folder, false);
    EXPECT_TRUE(missing.progress.empty());
}

// Every truncation of a valid catalogue is read safely and gives exactly the
// records it holds whole. The parser sees every prefix, each in a buffer of
// its own size so a sanitizer catches any read past the end; the reader,
// which has to go through a file, sees the lengths where something changes:
// around every record's end and in the middle of every record.
TEST_F(MbdbIndex, EveryPrefixOfAValidCatalogueIsReadSafely) {
    ASSERT_TRUE(sample::whatsAppBackup(CatalogueLayout::Mbdb).write(folder));
    const std::string full = test::readFile(folder + "/Manifest.mbdb");
    std::vector<MbdbRecordParser::Record> records;
    {
        MbdbRecordParser parser(
            std::span(reinterpret_cast<const uint8_t*>(full.data()), full.size()));
        ASSERT_TRUE(parser.readHeader());
        while (auto record = parser.next()) {
            records.push_back(std::move(*record));
        }
        ASSERT_TRUE(parser.atEnd());
    }
    ASSERT_GE(records.size(), 10u);
    const auto wholeIn = [&](size_t length) {
        return static_cast<size_t>(
            std::count_if(records.begin(), records.end(),
                          [&](const auto& record) { return record.endOffset <= length; }));
    };

    for (size_t length = 0; length <= full.size(); ++length) {
        const std::vector<uint8_t> prefix(full.begin(),
                                          full.begin() + static_cast<std::ptrdiff_t>(length));
        MbdbRecordParser parser(prefix);
        if (!parser.readHeader()) {
            ASSERT_LT(length, kMagic.size());
            continue;
        }
        size_t read = 0;
        while (auto record = parser.next()) {
            ASSERT_LT(read, records.size()) << length;
            ASSERT_EQ(record->endOffset, records[read].endOffset) << length;
            ASSERT_EQ(record->path, records[read].path) << length;
            ++read;
        }
        ASSERT_EQ(read, wholeIn(length)) << length;
    }

    IndexRun complete;
    complete.run(folder, false);
    const auto& all = complete.index.whatsAppFileArray;
    ASSERT_FALSE(all.empty());
    std::map<std::pair<std::string, std::string>, size_t> endOfRecord;
    for (const auto& record : records) {
        endOfRecord[{record.domain, record.path}] = record.endOffset;
    }
    std::set<size_t> lengths;
    for (size_t length = 0; length <= kMagic.size(); ++length) {
        lengths.insert(length);
    }
    size_t start = kMagic.size();
    for (const auto& record : records) {
        for (size_t length = record.endOffset - 1; length <= record.endOffset + 1; ++length) {
            lengths.insert(std::min(length, full.size()));
        }
        lengths.insert((start + record.endOffset) / 2);
        start = record.endOffset;
    }
    for (size_t length : lengths) {
        test::writeFile(folder + "/Manifest.mbdb", full.substr(0, length));
        IndexRun run;
        run.run(folder, false);
        const auto& some = run.index.whatsAppFileArray;
        const size_t expected = static_cast<size_t>(
            std::count_if(all.begin(), all.end(), [&](const KTTreeDirNode& entry) {
                return endOfRecord.at({entry.fileDomain, entry.filePath}) <= length;
            }));
        // A cut catalogue yields a leading part of the full index: the
        // entries of the records it holds whole, and no other.
        ASSERT_EQ(some.size(), expected) << length;
        ASSERT_TRUE(std::equal(some.begin(), some.end(), all.begin())) << length;
    }
}

TEST_F(MbdbIndex, StopAfterTheFirstKeptRecord) {
    ASSERT_TRUE(sample::whatsAppBackup(CatalogueLayout::Mbdb).write(folder));
    IndexRun run;
    run.stopOnFirstProgress = true;
    run.run(folder, false);
    EXPECT_EQ(run.progress.size(), 1u);
    EXPECT_LE(run.index.whatsAppFileArray.size(), 1u);
}

TEST_F(MbdbIndex, TheBackupIsLeftUnchanged) {
    ASSERT_TRUE(sample::whatsAppBackup(CatalogueLayout::Mbdb).write(folder));
    auto before = test::treeDigest(folder);
    IndexRun run;
    run.run(folder, false);
    EXPECT_FALSE(run.index.whatsAppFileArray.empty());
    EXPECT_EQ(test::treeDigest(folder), before);
}

}  // namespace
}  // namespace vessamo
