// A backup somebody else made may name files outside itself or hold links
// to them; a scan and its exports read only the regular files inside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "common/PlistValue.h"
#include "sample/SampleSources.h"
#include "support/CliRunner.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using sample::CatalogueLayout;
using test::contains;
using test::runTool;
using test::treeDigest;
using test::writeFile;

const std::string kShared = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";

class HostileBackup : public ::testing::Test {
protected:
    HostileBackup() {
        writeFile(outside + "/secret.jpg", "outside picture");
        writeFile(outside + "/shadow", "root:$6$hash");
        outsideBefore = treeDigest(outside);
    }

    // Writes the backup, then puts a link where a stored media file was.
    void writeWithLinkedMedia(sample::SampleBackupBuilder& builder) {
        builder.addFile(kShared, "Message/Media/1/linked.jpg", "placeholder");
        std::string error;
        ASSERT_TRUE(builder.write(backup, &error)) << error;
        const std::string stored = builder.dataPath(backup, kShared, "Message/Media/1/linked.jpg");
        fs::remove(stored);
        fs::create_symlink(outside + "/shadow", stored);
    }

    // Every file an export wrote, by content, must be none of the outside's.
    void expectNothingFromOutside(const std::string& out) {
        for (const auto& [path, digest] : treeDigest(out)) {
            for (const auto& [outsidePath, outsideDigest] : outsideBefore) {
                EXPECT_NE(digest, outsideDigest) << path << " is a copy of " << outsidePath;
            }
        }
    }

    test::TempHome home;
    std::string sources = home.path() + "/sources";
    std::string backup = sources + "/backup";
    std::string outside = home.path() + "/outside";
    std::map<std::string, std::string> outsideBefore;
};

TEST_F(HostileBackup, CatalogueRowsThatClimbOutAndLinkedFilesAreSkippedAndCounted) {
    auto builder = sample::whatsAppBackup(CatalogueLayout::ManifestDb);
    // "<backup>/../../outside/secret.jpg" once the reader puts the key in its folder.
    builder.addRawCatalogueRow("../outside/secret.jpg", kShared, "Message/Media/2/evil.jpg");
    writeWithLinkedMedia(builder);

    const test::CliRun scan = runTool(home.path(), {"scan", backup});
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    EXPECT_TRUE(contains(scan.out, "not a regular file inside the backup")) << scan.out;

    const std::string out = home.path() + "/out";
    const test::CliRun run =
        runTool(home.path(), {"export", backup, "--to", out, "--all-media", "--html"});
    EXPECT_TRUE(fs::is_directory(out + "/Media Files"));
    EXPECT_GT(test::namesIn(out + "/Media Files").size(), 3u);  // the rest was exported
    EXPECT_FALSE(fs::exists(out + "/Media Files/linked.jpg"));
    expectNothingFromOutside(out);
    EXPECT_EQ(treeDigest(outside), outsideBefore);
}

TEST_F(HostileBackup, AChatDatabaseNamedOutsideTheBackupIsNotRead) {
    // A backup without the usual chat databases, whose catalogue names one
    // outside it: only the catalogue's name could lead the scan there.
    sample::SampleBackupBuilder builder(CatalogueLayout::ManifestDb);
    builder.addFile("HomeDomain", "Library/Preferences/x.plist", "unrelated");
    builder.addRawCatalogueRow("../outside/chat.sqlite", kShared, "ChatStorage.sqlite");
    std::string error;
    ASSERT_TRUE(builder.write(backup, &error)) << error;
    const sample::WhatsAppSample world = sample::makeWhatsAppSample({});
    fs::create_directories(sources + "/outside");
    ASSERT_TRUE(sample::writeChatStorage(sources + "/outside/chat.sqlite", world.database));

    // The bad row is the only WhatsApp file: damage, and nothing read.
    const nlohmann::json scan = test::scanJson(home.path(), {backup}, 3);
    ASSERT_TRUE(scan.is_object());
    EXPECT_TRUE(scan["conversations"].empty());
    EXPECT_TRUE(scan["messages"].empty());
}

// The first file below folder whose name ends in suffix.
std::string firstFileEndingIn(const std::string& folder, const std::string& suffix) {
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.path().string().ends_with(suffix)) {
            return entry.path().string();
        }
    }
    return "";
}

TEST_F(HostileBackup, LinkedTimelineMediaAndFoldersAreNeitherListedNorCopied) {
    const std::string timeline = sources + "/timeline";
    ASSERT_TRUE(test::writeSample(home.path(), timeline, {"--kind", "timeline"}));
    // A chat's video becomes a link to a file outside, a chat's voice-note
    // folder a link to a folder outside holding a note of that name, and a
    // linked folder is planted among the media.
    const std::string video = firstFileEndingIn(timeline, ".mp4");
    const std::string note = firstFileEndingIn(timeline, ".opus");
    ASSERT_FALSE(video.empty() || note.empty());
    fs::remove(video);
    fs::create_symlink(outside + "/shadow", video);
    const fs::path noteFolder = fs::path(note).parent_path();
    writeFile(outside + "/notes/" + fs::path(note).filename().string(), "outside voice note");
    fs::remove_all(noteFolder);
    fs::create_directory_symlink(outside + "/notes", noteFolder);
    fs::create_directory_symlink(outside, timeline + "/Library/Media/planted");
    outsideBefore = treeDigest(outside);

    const test::CliRun scan = runTool(home.path(), {"scan", timeline});
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    EXPECT_TRUE(contains(scan.out, "skipped 3 files: not a regular file inside the backup"))
        << scan.out;

    const std::string out = home.path() + "/out";
    runTool(home.path(),
            {"export", timeline, "--to", out, "--html", "--chat-media", "--all-media"});
    EXPECT_GT(test::namesIn(out + "/Media Files").size(), 3u);  // the rest was exported
    expectNothingFromOutside(out);
    EXPECT_EQ(treeDigest(outside), outsideBefore);
}

TEST_F(HostileBackup, ATimelineMadeFromTheBackupKeepsNoLinkedFile) {
    auto builder = sample::whatsAppBackup(CatalogueLayout::ManifestDb);
    std::string error;
    ASSERT_TRUE(builder.write(backup, &error)) << error;
    // The address book, which the Timeline copies by its fixed key.
    const std::string addressBook = backup + "/31/31bb7ba8914766d4ba40d6dfb6113c8b614be442";
    fs::remove(addressBook);
    fs::create_symlink(outside + "/shadow", addressBook);

    const test::CliRun created = runTool(home.path(), {"timeline", "create", backup});
    ASSERT_EQ(created.exitCode, 0) << created.err;
    const std::string library = home.path() + "/Library/Application Support/Vessamo";
    ASSERT_FALSE(treeDigest(library).empty());
    expectNothingFromOutside(library);
}

// The device's Info.plist and the account's preferences name the source and
// its owner: a regular file in their place is read, a link there is not.
TEST_F(HostileBackup, PlistsThatAreLinksAreNotRead) {
    auto builder = sample::whatsAppBackup(CatalogueLayout::ManifestDb);
    std::string error;
    ASSERT_TRUE(builder.write(backup, &error)) << error;
    const std::string prefs = builder.dataPath(
        backup, kShared, "Library/Preferences/group.net.whatsapp.WhatsApp.shared.plist");
    // The backup's own lists, but for the names.
    std::optional<PlistValue> device = PlistValue::fromFile(backup + "/Info.plist");
    std::optional<PlistValue> owner = PlistValue::fromFile(prefs);
    ASSERT_TRUE(device && owner);
    device->set("Device Name", PlistValue::string("Outside Phone"));
    owner->set("FullUserName", PlistValue::string("Outside Owner"));
    writeFile(outside + "/info.plist", device->toXml());
    writeFile(outside + "/prefs.plist", owner->toXml());
    const auto scanWith = [&](bool links) {
        for (const auto& [from, at] : {std::pair{outside + "/info.plist", backup + "/Info.plist"},
                                       std::pair{outside + "/prefs.plist", prefs}}) {
            fs::remove(at);
            if (links) {
                fs::create_symlink(from, at);
            } else {
                fs::copy_file(from, at);
            }
        }
        return test::scanJson(home.path(), {backup});
    };

    const nlohmann::json copied = scanWith(false);
    ASSERT_TRUE(copied.is_object());
    EXPECT_EQ(copied["source"]["name"], "Outside Phone");
    EXPECT_EQ(copied["account"]["name"], "Outside Owner");

    const nlohmann::json linked = scanWith(true);
    ASSERT_TRUE(linked.is_object());
    EXPECT_NE(linked["source"]["name"], "Outside Phone");
    EXPECT_NE(linked["account"]["name"], "Outside Owner");
}

}  // namespace
}  // namespace vessamo
