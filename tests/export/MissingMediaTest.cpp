#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "common/Files.h"
#include "export/HtmlChatExport.h"
#include "export/HtmlText.h"
#include "export/MediaExports.h"
#include "export/TextExports.h"
#include "support/CliRunner.h"
#include "support/ExportFixture.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using test::namesIn;
using test::readFile;

// The ASCII of a UTF-16LE page, enough for the texts the tests look for.
std::string pageText(const std::string& path) {
    const std::string utf16 = readFile(path);
    std::string ascii;
    for (size_t at = 2; at + 1 < utf16.size(); at += 2) {
        ascii += utf16[at + 1] == 0 ? utf16[at] : '?';
    }
    return ascii;
}

size_t countIn(const std::string& text, std::string_view part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class MissingMediaTest : public test::ExportFixture {
protected:
    // A chat with a picture that is in the backup, one that is not, and a
    // second message showing the missing picture.
    void chatWithAMissingPicture() {
        addBackupFile("Media/here.jpg", "khere", "picture bytes");
        make.chat(12, "Anna", "491701111111");
        KTWhatsAppNode& here = mediaMessage(12, Direction::Receive, 1, "Media/here.jpg");
        here.messageName = make.text("Anna");
        KTWhatsAppNode& gone = mediaMessage(12, Direction::Receive, 1, "Media/gone.jpg");
        gone.messageName = make.text("Anna");
        gone.messageContent = make.text("our <cat> at the lake");
        KTWhatsAppNode& again = mediaMessage(12, Direction::Send, 1, "Media/gone.jpg");
        again.messageName = make.text("Me");
        again.messageContent = make.text("");
        make.message(12, "plain text", Direction::Send).messageName = make.text("Me");
        finish();
    }
};

TEST_F(MissingMediaTest, APageKeepsTheMessageWhoseFileIsNotInTheBackup) {
    chatWithAMissingPicture();
    const ExportReport report = exportChatsAsHtml(*result, chats(), out);
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.missingMedia, (std::set<std::string>{"Media/gone.jpg"}));
    EXPECT_EQ(namesIn(out + "/Media Files"), (std::set<std::string>{"khere.jpg"}));

    const std::string page = pageText(out + "/Chats/Anna12.html");
    // Every message has its name line: author and time stay.
    EXPECT_EQ(countIn(page, "<p class='name'>"), 4u);
    EXPECT_EQ(countIn(page, "Date: 03-14-2021"), 3u);  // the text message has no time
    EXPECT_EQ(countIn(page, "media file not in the backup"), 2u);
    // The caption stays, escaped, in the bubble where the picture would be.
    EXPECT_NE(page.find("<p class='triangle-isosceles'> <em>media file not in the backup</em>"
                        "<br/>our &lt;cat&gt; at the lake </p>"),
              std::string::npos);
    EXPECT_NE(
        page.find("<p class='triangle-isosceles2'> <em>media file not in the backup</em> </p>"),
        std::string::npos);
    EXPECT_EQ(countIn(page, "src='../Media Files/khere.jpg'"), 1u);
    EXPECT_NE(page.find("plain text"), std::string::npos);
}

TEST_F(MissingMediaTest, TextAndChatMediaExportsKeepTheMessageAndFailNothing) {
    chatWithAMissingPicture();
    const ExportReport text = ExportChatAsTextthreader(*result, chats(), out);
    EXPECT_TRUE(text.failures.empty());
    EXPECT_EQ(text.missingMedia, (std::set<std::string>{"Media/gone.jpg"}));
    const std::string written = readFile(out + "/Chats/Anna-.txt");
    EXPECT_EQ(countIn(written, "Name:"), 4u);
    EXPECT_NE(written.find("Name:Anna  Message:our <cat> at the lake  "
                           "Media:gone.jpg (media file not in the backup)  date:"),
              std::string::npos);
    EXPECT_NE(written.find("Name:Anna  Message:caption  Media:here.jpg  date:"), std::string::npos);

    const ExportReport media = ExportChatAsAttachmentthreader(*result, chats(), out + "/media");
    EXPECT_TRUE(media.failures.empty());
    EXPECT_EQ(media.filesWritten, 1u);
    EXPECT_EQ(media.missingMedia, (std::set<std::string>{"Media/gone.jpg"}));
}

// An iCloud or Timeline message whose file is not in the unpacked source is
// missing too, in the text as on the page.
TEST_F(MissingMediaTest, UnpackedSourcesListTheirMissingFilesAlike) {
    make.state().tempfilePath = home.path() + "/icloud/";
    make.state().fullTimelinPath = home.path() + "/timeline";
    test::writeFile(home.path() + "/icloud/Media/here.jpg", "here");
    make.chat(12, "Anna", "491701111111");
    mediaMessage(12, Direction::Receive, 1, "Media/here.jpg").biCloudNode = true;
    mediaMessage(12, Direction::Receive, 1, "Media/not-unpacked.jpg").biCloudNode = true;
    mediaMessage(12, Direction::Receive, 1, "Media/not-kept.jpg").bTimelineNode = true;
    finish();
    const ExportReport text = ExportChatAsTextthreader(*result, chats(), out);
    EXPECT_TRUE(text.failures.empty());
    EXPECT_EQ(text.missingMedia,
              (std::set<std::string>{"Media/not-unpacked.jpg", "Media/not-kept.jpg"}));
    const std::string written = readFile(out + "/Chats/Anna-.txt");
    EXPECT_EQ(countIn(written, "(media file not in the backup)"), 2u);
    EXPECT_NE(written.find("Media:here.jpg  date:"), std::string::npos);
    const ExportReport pages = exportChatsAsHtml(*result, chats(), out);
    EXPECT_TRUE(pages.failures.empty());
    EXPECT_EQ(pages.missingMedia, text.missingMedia);
    EXPECT_EQ(namesIn(out + "/Media Files"), std::set<std::string>{"here.jpg"});
}

TEST_F(MissingMediaTest, AFileThatCannotBeCopiedIsStillAFailureAndItsMessageStays) {
    addBackupFile("Media/here.jpg", "khere", "picture bytes");
    make.chat(12, "Anna", "491701111111");
    mediaMessage(12, Direction::Receive, 1, "Media/here.jpg");
    finish();
    // The copy's place is taken by a folder, so the copy cannot be made.
    fs::create_directories(out + "/Media Files/khere.jpg");
    const ExportReport report = exportChatsAsHtml(*result, chats(), out);
    EXPECT_EQ(report.failures.size(), 1u);
    EXPECT_TRUE(report.missingMedia.empty());
    const std::string page = pageText(out + "/Chats/Anna12.html");
    EXPECT_EQ(countIn(page, "<p class='name'>"), 1u);
    EXPECT_NE(page.find("media file could not be copied"), std::string::npos);
}

// The command line on a backup that kept the files of one chat media
// message in ten: every message is on the pages, the missing files are
// named once, and the run succeeds.
TEST(MissingMediaCli, AnExportLackingOnlyOffloadedMediaSucceeds) {
    test::TempHome home;
    const std::string backup = home.path() + "/backup";
    ASSERT_TRUE(test::writeSample(home.path(), backup, {"--keep-media-every", "10"}));
    const std::string to = home.path() + "/out";
    const test::CliRun run = test::runTool(
        home.path(), {"export", backup, "--to", to, "--html", "--text", "--chat-media"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(test::contains(run.err, "failed:")) << run.err;
    EXPECT_TRUE(test::contains(run.out, "media files are not in the backup")) << run.out;

    // Each missing file is named once, though three exports noticed it.
    std::set<std::string> named;
    size_t lines = 0;
    std::istringstream err(run.err);
    for (std::string line; std::getline(err, line);) {
        if (line.rfind("not in the backup: ", 0) == 0) {
            named.insert(line);
            ++lines;
        }
    }
    EXPECT_GT(named.size(), 0u);
    EXPECT_EQ(lines, named.size());

    // Every message of the scan has its name line on a page.
    size_t messages = 0;
    std::istringstream out(run.out);
    for (std::string line; std::getline(out, line);) {
        if (line.rfind("  Messages ", 0) == 0) {
            messages = std::stoul(line.substr(line.find_last_of(' ') + 1));
        }
    }
    ASSERT_GT(messages, 0u);
    size_t nameLines = 0;
    size_t notices = 0;
    for (const std::string& page : namesIn(to + "/Chats")) {
        if (page.size() > 5 && page.substr(page.size() - 5) == ".html") {
            const std::string text = pageText(to + "/Chats/" + page);
            nameLines += countIn(text, "<p class='name'>");
            notices += countIn(text, "media file not in the backup");
        }
    }
    EXPECT_EQ(nameLines, messages);
    EXPECT_GE(notices, named.size());
}

}  // namespace
}  // namespace vessamo
