#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "common/Files.h"
#include "export/CharacterView.h"
#include "export/MediaExports.h"
#include "support/ExportFixture.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using test::kMarch14At1509Berlin;
using test::namesIn;

std::time_t modifiedAt(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mtime : 0;
}

class MediaExports : public test::ExportFixture {
protected:
    // A media browser item: a file of the source under "Message/<folder>/<name>".
    IKImageItem item(std::string_view name, const std::string& bytes,
                     std::string_view folder = "Media") {
        const std::string file = home.path() + "/source/" + std::to_string(++sourceFiles);
        test::writeFile(file, bytes);
        return IKImageItem::fromTreeNode(
            make.media("Message/" + std::string(folder) + "/" + std::string(name), file));
    }

    int sourceFiles = 0;
};

TEST(MediaTime, CopiesAreDatedByTheMessageOfTheirPathWithoutTheBackupFolder) {
    test::TempHome home;
    const std::string copy = home.path() + "/copy.jpg";
    struct Case {
        bool newAppVersion;
        const char* stored;
        bool dated;
    };
    // The older layout keeps its media under Library/, and only that is dropped.
    const Case cases[] = {
        {true, "Message/Media/a.jpg", true},  {true, "Media/a.jpg", true},
        {true, "Library/Media/a.jpg", false}, {false, "Library/Media/a.jpg", true},
        {true, "Media/b.jpg", false},         {true, "", false}};
    for (const Case& c : cases) {
        test::ResultFactory make;
        make.state().index.bNewAppVersion = c.newAppVersion;
        make.message(1, "", Direction::Send, test::kMarch14At1509).messageAttchpath =
            make.text("Media/a.jpg");
        const ScanResultPtr result = make.finish();
        test::writeFile(copy, "bytes");
        ExportReport report;
        applyMediaTime(*result, c.stored, copy, report);
        EXPECT_EQ(modifiedAt(copy) == kMarch14At1509Berlin, c.dated) << c.stored;
        EXPECT_TRUE(report.failures.empty());
    }
}

TEST_F(MediaExports, ChosenChatsCopyTheirMediaOnlyAndSayWhatIsMissing) {
    make.chat(1, "One");
    make.chat(2, "Two");
    make.chat(3, "Three");
    addBackupFile("Media/one.jpg", "k1", "one");
    addBackupFile("Media/two.mp4", "k2", "two");
    addBackupFile("Media/three.jpg", "k3", "three");
    mediaMessage(1, Direction::Send, 1, "Media/one.jpg");
    mediaMessage(1, Direction::Send, 1, "");                                   // no stored path
    mediaMessage(1, Direction::Send, 1, "Media/two.mp4").isHaveAttch = false;  // text only
    mediaMessage(3, Direction::Send, 1, "Media/three.jpg").messageDate = std::nullopt;
    mediaMessage(2, Direction::Send, 1, "Media/two.mp4");
    mediaMessage(3, Direction::Send, 1, "Media/gone.jpg");
    finish();

    const std::vector<const KTWhatsAppCovNode*> chosen = {&result->WhatsAppConvChatArray[0],
                                                          &result->WhatsAppConvChatArray[2]};
    const ExportReport report = ExportChatAsAttachmentthreader(*result, chosen, out);
    // A file the backup does not hold is listed, not failed.
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.missingMedia, std::set<std::string>{"Media/gone.jpg"});
    EXPECT_EQ(report.filesWritten, 2u);
    EXPECT_EQ(namesIn(out, true),
              (std::set<std::string>{"Media Files/k1.jpg", "Media Files/k3.jpg"}));
    EXPECT_EQ(modifiedAt(out + "/Media Files/k1.jpg"), kMarch14At1509Berlin);
    EXPECT_NE(modifiedAt(out + "/Media Files/k3.jpg"), kMarch14At1509Berlin);
}

TEST_F(MediaExports, EachKindGoesToItsFolderWithItsOwnItems) {
    const std::vector<IKImageItem> items = {item("p.jpg", "photo"), item("v.mov", "video"),
                                            item("a.opus", "audio"), item("d.pdf", "document")};
    ASSERT_EQ(items[3].fileType, "pdf");
    finish();

    ExportReport photos = ExportAllPhotosthreader(*result, items, out);
    ExportReport videos = ExportAllVideosthreader(*result, items, out);
    ExportReport audios = ExportAllAudiosthreader(*result, items, out);
    EXPECT_EQ(photos.filesWritten + videos.filesWritten + audios.filesWritten, 3u);
    EXPECT_EQ(namesIn(out, true),
              (std::set<std::string>{"Media Files/Photos/p.jpg", "Media Files/Video/v.mov",
                                     "Media Files/Audios/a.opus"}));
    EXPECT_EQ(test::readFile(out + "/Media Files/Video/v.mov"), "video");
    EXPECT_EQ(mediaFolderOf(out, MediaKind::audios), out + "/Media Files/Audios");

    EXPECT_EQ(ExportAllMediaFilesthreader(*result, items, out + "/all").filesWritten, 4u);
    EXPECT_EQ(namesIn(out + "/all/Media Files"),
              (std::set<std::string>{"p.jpg", "v.mov", "a.opus", "d.pdf"}));

    const std::vector<IKImageItem> picked = {items[1], items[3]};
    EXPECT_EQ(ExportChatSelectedMediaPhotothreader(*result, picked, out + "/picked").filesWritten,
              2u);
    EXPECT_EQ(namesIn(out + "/picked/Media Files"), (std::set<std::string>{"v.mov", "d.pdf"}));
}

TEST_F(MediaExports, BrowserCopiesStayInsideAndCarryTheMessageTime) {
    mediaMessage(1, Direction::Send, 1, "Media/p.jpg");
    std::vector<IKImageItem> items = {item("p.jpg", "photo")};
    items.push_back(items[0]);
    items[1].fileName = "../../escape.jpg";
    items.push_back(items[0]);
    items[2].fileName = "..";
    items.push_back(item("p.jpg", "second", "Other"));
    items.push_back(items[0]);
    items[4].filePath = make.text(home.path() + "/no such file");
    items[4].fileName = "lost.jpg";
    // A link planted at a copy's name is replaced by the copy, never written through.
    items.push_back(item("linked.jpg", "linked"));
    test::writeFile(home.path() + "/elsewhere", "untouched");
    ASSERT_TRUE(makeFolders(out + "/Media Files").ok());
    fs::create_symlink(home.path() + "/elsewhere", out + "/Media Files/linked.jpg");
    finish();

    const ExportReport report = ExportAllMediaFilesthreader(*result, items, out);
    EXPECT_EQ(namesIn(out, true),
              (std::set<std::string>{"Media Files/p.jpg", "Media Files/.._.._escape.jpg",
                                     "Media Files/__", "Media Files/p (2).jpg",
                                     "Media Files/linked.jpg"}));
    EXPECT_FALSE(fs::exists(home.path() + "/escape.jpg"));
    // Two items of one name are both kept.
    EXPECT_EQ(test::readFile(out + "/Media Files/p.jpg"), "photo");
    EXPECT_EQ(test::readFile(out + "/Media Files/p (2).jpg"), "second");
    EXPECT_EQ(report.filesWritten, 5u);
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_NE(report.failures[0].find("no such file"), std::string::npos);
    EXPECT_FALSE(fs::is_symlink(out + "/Media Files/linked.jpg"));
    EXPECT_EQ(test::readFile(out + "/Media Files/linked.jpg"), "linked");
    EXPECT_EQ(test::readFile(home.path() + "/elsewhere"), "untouched");
    EXPECT_EQ(modifiedAt(out + "/Media Files/__"), kMarch14At1509Berlin);
}

TEST_F(MediaExports, AStoppedExportCopiesNothingAndSaysSo) {
    make.chat(1, "One");
    addBackupFile("Media/one.jpg", "k1", "one");
    mediaMessage(1, Direction::Send, 1, "Media/one.jpg");
    const std::vector<IKImageItem> items = {item("p.jpg", "photo")};
    finish();
    std::stop_source stop;
    stop.request_stop();

    for (const ExportReport& report :
         {ExportChatAsAttachmentthreader(*result, chats(), out, {stop.get_token()}),
          ExportAllMediaFilesthreader(*result, items, out, {stop.get_token()})}) {
        EXPECT_EQ(report.filesWritten, 0u);
        ASSERT_EQ(report.failures.size(), 1u);
        EXPECT_EQ(report.failures[0].rfind("export cancelled ", 0), 0u);
    }
    EXPECT_TRUE(namesIn(out, true).empty());
}

TEST_F(MediaExports, PreviewSaveKeepsAFileAlreadyOnTheDesktop) {
    const std::string previewed = home.path() + "/previewed.jpg";
    test::writeFile(previewed, "new");
    EXPECT_EQ(ExportPreviewContent(previewed, "shown.jpg").filesWritten, 1u);
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

TEST(CharacterView, PrintableBytesShowEveryOtherByteIsADotAndTheExportReplaces) {
    test::TempHome home;
    const std::string file = home.path() + "/db";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {std::string("A\0\xC3\x7F", 4), "A..."},
        {std::string(" ~\x1F\n\r\x80\xFFz", 8), " ~.....z"},
        {"", ""}};
    for (const auto& [bytes, shown] : cases) {
        test::writeFile(file, bytes);
        EXPECT_EQ(ConvertFileToHexString(file), shown);
    }
    EXPECT_EQ(ConvertFileToHexString(home.path() + "/missing"), "");

    EXPECT_EQ(hexExportPath(), home.path() + "/Documents/hexFile.txt");
    EXPECT_EQ(ExportHexFileThread("first, longer text").filesWritten, 1u);
    const ExportReport report = ExportHexFileThread("A...");
    EXPECT_EQ(report.filesWritten, 1u);
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(test::readFile(hexExportPath()), "A...");
}

}  // namespace
}  // namespace vessamo
