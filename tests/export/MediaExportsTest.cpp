#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <set>

#include "common/UserPaths.h"
#include "export/CharacterView.h"
#include "export/MediaExports.h"
#include "support/ExportFixture.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;

constexpr std::time_t kMarch14At1509Berlin = 1615730940;  // 2021-03-14 14:09 UTC

class MediaExports : public test::ExportFixture {
protected:
    KTWhatsAppCovNodePtr addChat(int32_t id, bool selected) {
        auto chat = std::make_shared<KTWhatsAppCovNode>();
        chat->chatID = id;
        chat->bSelected = selected;
        device.WhatsAppConvChatArray.push_back(chat);
        return chat;
    }

    void addMessage(int32_t chatID, const std::string& stored, bool hasMedia = true) {
        auto message = std::make_shared<KTWhatsAppNode>();
        message->chatID = chatID;
        message->isHaveAttch = hasMedia;
        message->messageAttchpath = stored;
        device.WhatsAppChatArray.push_back(message);
    }

    IKImageItem item(const std::string& name, const std::string& bytes,
                     const std::string& folder = "Media") {
        const std::string stored = folder + "/" + name;
        const std::string file = home.path() + "/source/" + std::to_string(++sourceFiles);
        test::writeFile(file, bytes);
        return IKImageItem::fromTreeNode({"AppDomain", "Message/" + stored, file});
    }

    // Every file below the folder, by path relative to it.
    std::set<std::string> tree(const std::string& folder) const {
        std::set<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(folder, ec)) {
            if (entry.is_regular_file()) {
                names.insert(fs::relative(entry.path(), folder).string());
            }
        }
        return names;
    }

    std::vector<IKImageItem> items;
    int sourceFiles = 0;
};

TEST_F(MediaExports, FileDatesAreLookedUpWithoutTheBackupFolderPrefix) {
    source.fileDateDict["Media/a.jpg"] = "03-14-2021 15:09";
    EXPECT_EQ(getFileDateByNodeFilepath(source, "Message/Media/a.jpg"), "03-14-2021 15:09");
    EXPECT_EQ(getFileDateByNodeFilepath(source, "Media/a.jpg"), "03-14-2021 15:09");
    // The older layout keeps its media under Library/, and only that is dropped.
    EXPECT_EQ(getFileDateByNodeFilepath(source, "Library/Media/a.jpg"), std::nullopt);
    source.bNewAppVersion = false;
    EXPECT_EQ(getFileDateByNodeFilepath(source, "Library/Media/a.jpg"), "03-14-2021 15:09");
    EXPECT_EQ(getFileDateByNodeFilepath(source, "Media/b.jpg"), std::nullopt);

    test::ScopedTimeZone zone("Europe/Berlin");
    EXPECT_EQ(parseMediaTime("03-14-2021 15:09"), kMarch14At1509Berlin);
    EXPECT_EQ(parseMediaTime("02-31-2021 10:00"), std::nullopt);
    EXPECT_EQ(parseMediaTime("03-14-2021 25:09"), std::nullopt);
    EXPECT_EQ(parseMediaTime("yesterday"), std::nullopt);
}

TEST_F(MediaExports, SelectedChatsCopyTheirMediaOnly) {
    test::ScopedTimeZone zone("Europe/Berlin");
    addChat(1, true);
    addChat(2, false);
    addChat(3, false);
    addBackupFile("Media/one.jpg", "k1", "one");
    addBackupFile("Media/two.mp4", "k2", "two");
    addBackupFile("Media/three.jpg", "k3", "three");
    addMessage(1, "Media/one.jpg");
    addMessage(1, "");                      // a media message without a stored path
    addMessage(1, "Media/two.mp4", false);  // text only: its path is not media
    addMessage(3, "Media/three.jpg");
    addMessage(2, "Media/two.mp4");
    source.fileDateDict["Media/one.jpg"] = "03-14-2021 15:09";

    const ExportReport report = ExportChatAsAttachmentthreader(source, out, size_t{2});
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.filesWritten, 2u);
    EXPECT_EQ(tree(out), (std::set<std::string>{"Media Files/k1.jpg", "Media Files/k3.jpg"}));
    struct stat info {};
    ASSERT_EQ(::stat((out + "/Media Files/k1.jpg").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, kMarch14At1509Berlin);
}

TEST_F(MediaExports, MissingMediaOfASelectedChatIsReported) {
    addChat(1, true);
    addMessage(1, "Media/gone.jpg");
    const ExportReport report = ExportChatAsAttachmentthreader(source, out, std::nullopt);
    EXPECT_EQ(report.filesWritten, 0u);
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_NE(report.failures[0].find("Media/gone.jpg"), std::string::npos);

    source.node = nullptr;
    EXPECT_EQ(ExportChatAsAttachmentthreader(source, out, std::nullopt).failures.size(), 1u);
}

TEST_F(MediaExports, EachKindGoesToItsFolderWithItsOwnItems) {
    items = {item("p.jpg", "photo"), item("v.mov", "video"), item("a.opus", "audio"),
             item("d.pdf", "document")};
    ASSERT_EQ(items[3].fileType, "pdf");

    ExportReport photos = ExportAllPhotosthreader(source, items, out);
    ExportReport videos = ExportAllVideosthreader(source, items, out);
    ExportReport audios = ExportAllAudiosthreader(source, items, out);
    EXPECT_EQ(photos.filesWritten + videos.filesWritten + audios.filesWritten, 3u);
    EXPECT_EQ(tree(out),
              (std::set<std::string>{"Media Files/Photos/p.jpg", "Media Files/Video/v.mov",
                                     "Media Files/Audios/a.opus"}));
    EXPECT_EQ(test::readFile(out + "/Media Files/Video/v.mov"), "video");

    const ExportReport all = ExportAllMediaFilesthreader(source, items, out + "/all");
    EXPECT_EQ(all.filesWritten, 4u);
    EXPECT_EQ(tree(out + "/all/Media Files"),
              (std::set<std::string>{"p.jpg", "v.mov", "a.opus", "d.pdf"}));

    const ExportReport picked =
        ExportChatSelectedMediaPhotothreader(source, items, {1, 3, 99}, out + "/picked");
    EXPECT_EQ(picked.filesWritten, 2u);
    EXPECT_EQ(tree(out + "/picked/Media Files"), (std::set<std::string>{"v.mov", "d.pdf"}));
    EXPECT_EQ(mediaFolderOf(out, MediaKind::audios), out + "/Media Files/Audios");
}

TEST_F(MediaExports, BrowserCopiesStayInsideAndCarryTheMessageTime) {
    test::ScopedTimeZone zone("Europe/Berlin");
    items = {item("p.jpg", "photo")};
    items.push_back(items[0]);
    items[1].fileName = "../../escape.jpg";
    items.push_back(items[0]);
    items[2].fileName = "..";
    items.push_back(item("p.jpg", "second", "Other"));
    items.push_back(items[0]);
    items[4].filePath = home.path() + "/no such file";
    items[4].fileName = "lost.jpg";
    source.fileDateDict["Media/p.jpg"] = "03-14-2021 15:09";

    const ExportReport report = ExportAllMediaFilesthreader(source, items, out);
    EXPECT_EQ(tree(home.path() + "/out"),
              (std::set<std::string>{"Media Files/p.jpg", "Media Files/.._.._escape.jpg",
                                     "Media Files/__"}));
    EXPECT_FALSE(fs::exists(home.path() + "/escape.jpg"));
    // The later item of the same name wins, and the loss is said.
    EXPECT_EQ(test::readFile(out + "/Media Files/p.jpg"), "second");
    EXPECT_EQ(report.filesWritten, 3u);
    ASSERT_EQ(report.failures.size(), 2u);
    EXPECT_NE(report.failures[0].find("share this name"), std::string::npos);
    EXPECT_NE(report.failures[1].find("lost.jpg"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(::stat((out + "/Media Files/__").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, kMarch14At1509Berlin);
}

TEST_F(MediaExports, PreviewSaveKeepsAFileAlreadyOnTheDesktop) {
    const std::string previewed = home.path() + "/previewed.jpg";
    test::writeFile(previewed, "new");
    const ExportReport first = ExportPreviewContent(previewed, "shown.jpg");
    EXPECT_EQ(first.filesWritten, 1u);
    EXPECT_EQ(test::readFile(home.path() + "/desktop/shown.jpg"), "new");

    test::writeFile(previewed, "newer");
    const ExportReport second = ExportPreviewContent(previewed, "shown.jpg");
    EXPECT_EQ(second.filesWritten, 0u);
    EXPECT_TRUE(second.failures.empty());
    EXPECT_EQ(test::readFile(home.path() + "/desktop/shown.jpg"), "new");

    EXPECT_EQ(ExportPreviewContent(home.path() + "/missing", "x.jpg").failures.size(), 1u);
    EXPECT_EQ(ExportPreviewContent(previewed, "../up.jpg").filesWritten, 1u);
    EXPECT_FALSE(fs::exists(home.path() + "/up.jpg"));
}

TEST(CharacterView, PrintableBytesShowAndEveryOtherByteIsADot) {
    test::TempHome home;
    const std::string file = home.path() + "/db";
    test::writeFile(file, std::string("A\0\xC3\x7F", 4));
    EXPECT_EQ(ConvertFileToHexString(file), "A...");
    test::writeFile(file, std::string(" ~\x1F\n\r\x80\xFFz", 8));
    EXPECT_EQ(ConvertFileToHexString(file), " ~.....z");
    test::writeFile(file, "");
    EXPECT_EQ(ConvertFileToHexString(file), "");
    EXPECT_EQ(ConvertFileToHexString(home.path() + "/missing"), "");
}

TEST(CharacterView, ExportReplacesTheEarlierTextFile) {
    test::TempHome home;
    EXPECT_EQ(hexExportPath(), home.path() + "/Documents/hexFile.txt");
    EXPECT_EQ(ExportHexFileThread("first, longer text").filesWritten, 1u);
    const ExportReport report = ExportHexFileThread("A...");
    EXPECT_EQ(report.filesWritten, 1u);
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(test::readFile(hexExportPath()), "A...");
}

}  // namespace
}  // namespace vessamo
