#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include "common/Files.h"
#include "export/HtmlChatExport.h"
#include "export/HtmlText.h"
#include "export/KTHtmlController.h"
#include "export/MessageAttachmentCopy.h"
#include "support/ExportFixture.h"

namespace vessamo {
namespace {

using test::namesIn;

// Page texts are UTF-16LE; what the tests look for is encoded the same way.
std::string utf16(std::string_view utf8) {
    std::string units;
    appendUtf16Le(units, utf8);
    return units;
}

size_t countIn(const std::string& page, std::string_view utf8) {
    const std::string needle = utf16(utf8);
    size_t count = 0;
    for (size_t at = page.find(needle); at != std::string::npos; at = page.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

size_t at(const std::string& page, std::string_view utf8) {
    return page.find(utf16(utf8));
}

bool has(const std::string& page, std::string_view utf8) {
    return at(page, utf8) != std::string::npos;
}

class HtmlChatExport : public test::ExportFixture {
protected:
    ExportReport run(const ExportControl& control = {}) {
        finish();
        return exportChatsAsHtml(*result, chats(), out, control);
    }

    [[nodiscard]] std::string page(const std::string& name) const {
        return test::readFile(out + "/Chats/" + name);
    }
};

TEST_F(HtmlChatExport, PageNamesComeFromNameNumberOrIdAndStayInside) {
    make.chat(12, "Anna", "4915112345678");
    make.chat(20, "", "491701234567");
    make.chat(3, "Group Chat", "123-456@g.us", true);
    make.chat(4, "Group Chat", "123-457@g.us", true);
    make.chat(7, "A").currentChatNumber = std::nullopt;  // prints "(null)", long enough alone
    make.chat(8, "B", "9");
    make.chat(9, "", "");
    make.chat(5, "../../etc", "x");
    make.chat(6, "", "..");
    const ExportReport report = run();

    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.filesWritten, 9u);
    EXPECT_EQ(namesIn(out + "/Chats"),
              (std::set<std::string>{"Anna12.html", "491701234567.html", "Group Chat3.html",
                                     "Group Chat4.html", "(null).html", "98.html", "9.html",
                                     ".._.._etc5.html", "__.html"}));
    // Nothing landed anywhere but the pages folder.
    EXPECT_EQ(test::treeDigest(home.path()).size(), 9u);
}

TEST_F(HtmlChatExport, SplitsAt5000MessagesNewestFirst) {
    make.chat(12, "Anna", "1");
    make.chat(13, "Bert", "2");
    for (int i = 0; i < 5001; ++i) {
        if (i < 5000) {
            make.message(12, '#' + std::to_string(i) + '#');
        }
        make.message(13, '#' + std::to_string(i) + '#');
    }
    ExportControl control;
    ItemCounter counter{0};
    control.counter = &counter;
    EXPECT_TRUE(run(control).failures.empty());
    EXPECT_EQ(counter.load(), 2);
    EXPECT_EQ(namesIn(out + "/Chats"),
              (std::set<std::string>{"Anna12.html", "Bert13_0.html", "Bert13_1.html"}));
    EXPECT_EQ(countIn(page("Anna12.html"), "<p class='triangle-isosceles'>"), 5000u);

    const std::string first = page("Bert13_0.html");
    const std::string second = page("Bert13_1.html");
    EXPECT_EQ(countIn(first, "<p class='triangle-isosceles'>"), 5000u);
    EXPECT_LT(at(first, "> #5000# </p>"), at(first, "> #4999# </p>"));
    EXPECT_TRUE(has(first, "> #1# </p>"));
    EXPECT_FALSE(has(first, "> #0# </p>"));
    EXPECT_EQ(countIn(second, "<p class='triangle-isosceles'>"), 1u);
    EXPECT_TRUE(has(second, "> #0# </p>"));
    EXPECT_TRUE(has(second, "<h3>Name: Bert "));
}

TEST_F(HtmlChatExport, PageIsUtf16WithBomEveryTextEscapedAndDatesShown) {
    test::ScopedTimeZone zone("Europe/Berlin");
    make.chat(12, "Anna & <b>Co</b>", "+49 151").currentSubject = std::nullopt;
    make.message(12, "<script>alert('x')</script>", Direction::Send, test::kMarch14At1509);
    KTWhatsAppNode& nameless = make.message(12, "Grüße 😀", Direction::Receive);
    nameless.messageNumb = make.text("4915199999");
    KTWhatsAppNode& card = make.message(12, "", Direction::Receive, test::kMarch14At1509);
    card.messageName = make.text("Anna");
    card.vcardName = make.text("Card \"Q\"");
    card.vcardInfo = make.text("BEGIN:VCARD");
    ASSERT_TRUE(run().failures.empty());

    const std::string html = page("Anna & <b>Co<_b>12.html");
    EXPECT_EQ(html.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(at(html,
                 "<!DOCTYPE html><html lang='en'><head><meta charset='utf-8'><title>"
                 "Anna &amp; &lt;b&gt;Co&lt;/b&gt; ((null))</title><style>body {"),
              2u);
    EXPECT_NE(at(html,
                 "</style></head><body><h1>Anna &amp; &lt;b&gt;Co&lt;/b&gt; "
                 "((null))</h1><div id='container'><div class='content'><p><h3>"
                 "Name: Anna &amp; &lt;b&gt;Co&lt;/b&gt; &nbsp;&nbsp;Phone: +49 151 "
                 "&nbsp;&nbsp;Subject: (null)</h3><hr/><p>"),
              std::string::npos);
    // Nine rules start with a tab and five more sit inside the bubble rules.
    EXPECT_EQ(countIn(html, "\t"), 14u);
    EXPECT_TRUE(has(html,
                    "\thr{height:1px;border:0;border-bottom:1px dotted #cccccc;"
                    "margin:0;}.imgdic{left:170px; position:relative;}</style>"));
    EXPECT_FALSE(has(html, "<script>"));
    EXPECT_TRUE(has(html,
                    "<p class='triangle-isosceles2'> "
                    "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; </p>"));
    // Newest first; a missing name falls back to the number, a missing time
    // shows nothing.
    EXPECT_LT(at(html, "Card &quot;Q&quot;"), at(html, "Name: 4915199999 &nbsp;&nbsp; Date:  <p>"));
    EXPECT_TRUE(has(html, "Name: Anna &nbsp;&nbsp; Date: 03-14-2021 15:09 <p>"));
    EXPECT_TRUE(has(html, "<p class='triangle-isosceles'> Grüße 😀 </p>"));
    EXPECT_NE(html.find("\x3D\xD8\x00\xDE", 0, 4), std::string::npos);  // 😀 as a surrogate pair
    EXPECT_TRUE(has(html,
                    "<p class='triangle-isosceles2'> Card &quot;Q&quot;        "
                    "BEGIN:VCARD</p>"));
    EXPECT_EQ(html.size() - html.rfind(utf16("<hr/></div></div></body></html>")), 62u);
}

TEST_F(HtmlChatExport, MediaRenderedByTypeAndDirection) {
    test::ScopedTimeZone zone("Europe/Berlin");
    make.chat(12, "Anna", "1");
    const std::string video = "<p><video width='320' height='240' src='../Media Files/";
    const std::string frame = "<iframe src='../Media Files/";
    const std::string frameEnd =
        ".pdf' style='width:600px; height:500px;'frameborder='0'></iframe>";
    struct Case {
        Direction direction;
        int32_t attchType;
        std::string key;
        std::string element;  // follows the name line, "" for none
    };
    const Case cases[] = {
        {Direction::Send, 1, "k1",
         "<p class='imgdic'><img width='320' height='240' "
         "src='../Media Files/k1.jpg'/></p>"},
        {Direction::Receive, 1, "k2",
         "<p><img width='320' height='240' "
         "src='../Media Files/k2.jpg'/></p>"},
        {Direction::Send, 2, "k3", video + "k3.jpg' controls='controls'>Video</video></p>"},
        {Direction::Receive, 11, "k4", video + "k4.jpg' controls='controls'>Video</video></p>"},
        {Direction::Receive, 3, "k5",
         "<p><audio src='../Media Files/k5.jpg' controls='controls'>Audio</audio></p>"},
        {Direction::Send, 8, "k6", "<p class='imgdic'>" + frame + "k6" + frameEnd + "</p>"},
        {Direction::Receive, 8, "k7", frame + "k7" + frameEnd},
        {Direction::Receive, 5, "k8", ""}};
    for (const Case& c : cases) {
        const std::string stored = "Media/" + c.key + (c.attchType == 8 ? ".pdf" : ".jpg");
        addBackupFile(stored, c.key, "data of " + c.key);
        mediaMessage(12, c.direction, c.attchType, stored);
    }
    const ExportReport report = run();
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.filesWritten, 9u);
    EXPECT_EQ(test::readFile(out + "/Media Files/k6.pdf"), "data of k6");

    const std::string html = page("Anna12.html");
    for (const Case& c : cases) {
        EXPECT_TRUE(has(html, "Date: 03-14-2021 15:09 <p>" + c.element + "<p class='name'>") ||
                    has(html, "Date: 03-14-2021 15:09 <p>" + c.element + "<hr/>"))
            << c.key;
    }
    // Captions never show.
    EXPECT_FALSE(has(html, "caption"));
    EXPECT_FALSE(has(html, "triangle-isosceles'>"));
}

TEST_F(HtmlChatExport, CopiesAreByteIdenticalAndCarryTheMessageTime) {
    std::string large(CopyBuffer::kPieceSize + 12345, '\0');
    for (size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<char>((i * 131) >> 7);
    }
    addBackupFile("Media/big.mp4", "kbig", large);
    addBackupFile("Media/empty.jpg", "kempty", "");
    make.chat(12, "Anna", "1");
    mediaMessage(12, Direction::Send, 2, "Media/big.mp4");
    mediaMessage(12, Direction::Send, 1, "Media/empty.jpg").messageDate = std::nullopt;

    const ExportReport report = run();
    EXPECT_TRUE(report.failures.empty());
    const std::string copy = out + "/Media Files/kbig.mp4";
    struct stat info {};
    ASSERT_EQ(::stat(copy.c_str(), &info), 0);  // before reading it touches the access time
    EXPECT_EQ(info.st_mtime, test::kMarch14At1509Berlin);
    EXPECT_EQ(info.st_atime, test::kMarch14At1509Berlin);
    EXPECT_TRUE(test::readFile(copy) == large);
    // An empty media file copies as empty; a message without a time leaves
    // the copy's dates alone.
    ASSERT_EQ(::stat((out + "/Media Files/kempty.jpg").c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 0);
    EXPECT_GT(info.st_mtime, test::kMarch14At1509Berlin);
}

// Media come from the backup (the thumbnails standing in for a missing
// file), a Timeline folder or an unpacked iCloud archive; a message whose
// file is not there keeps its place with a notice, and the file is listed
// as missing rather than failed.
TEST_F(HtmlChatExport, MediaComeFromTheirSourceAndMessagesWithoutThemStay) {
    make.state().fullTimelinPath = home.path() + "/timeline";
    make.state().tempfilePath = home.path() + "/icloud/";
    test::writeFile(home.path() + "/timeline/Message/Media/t.jpg", "timeline");
    test::writeFile(home.path() + "/icloud/Media/c.jpg", "icloud");
    test::writeFile(home.path() + "/secret", "secret");
    addBackupFile("Media/t.jpg.thumb", "kt", "thumb");
    addBackupFile("Media/big.jpg.thumb", "kb", "small");
    make.chat(12, "Anna", "1");
    KTWhatsAppNode& thumbOnly = mediaMessage(12, Direction::Receive, 1, "");
    thumbOnly.messageName = make.text("Thumby");
    thumbOnly.messageThumPath = make.text("Media/t.jpg.thumb");
    mediaMessage(12, Direction::Receive, 1, "Media/gone.jpg").messageName = make.text("Gone");
    mediaMessage(12, Direction::Send, 1, "Media/big.jpg").messageThumPath =
        make.text("Media/big.jpg.thumb");
    mediaMessage(12, Direction::Send, 1, "Media/t.jpg").bTimelineNode = true;
    mediaMessage(12, Direction::Send, 1, "Media/c.jpg").biCloudNode = true;
    mediaMessage(12, Direction::Send, 1, "../../secret").bTimelineNode = true;
    make.message(12, "still here", Direction::Send);

    const ExportReport report = run();
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.missingMedia, (std::set<std::string>{"../../secret", "Media/gone.jpg"}));
    // A Timeline's file keeps its own name, extension and all.
    EXPECT_EQ(namesIn(out + "/Media Files"), (std::set<std::string>{"kb.jpg", "t.jpg", "c.jpg"}));
    EXPECT_EQ(test::readFile(out + "/Media Files/c.jpg"), "icloud");
    EXPECT_EQ(test::readFile(out + "/Media Files/t.jpg"), "timeline");
    const std::string html = page("Anna12.html");
    // A message with a thumbnail only shows its text; one whose file is gone
    // shows where it would be.
    EXPECT_TRUE(has(html, "Name: Thumby"));
    EXPECT_TRUE(has(html, "Name: Gone"));
    EXPECT_EQ(countIn(html, "media file not in the backup"), 2u);
    EXPECT_TRUE(has(html, "still here"));
    EXPECT_FALSE(has(html, "secret'"));
    EXPECT_EQ(countIn(html, "<p class='name'>"), 7u);
}

TEST_F(HtmlChatExport, ChatsShowTheirOwnMessagesAndTheStarredListOnlyItsHeader) {
    make.chat(12, "Anna", "1");
    make.message(12, "mine");
    make.message(13, "other chat, starred").bStarredMessage = true;
    make.state().wpConvChatArray.push_back(makeStarredConversation());

    ASSERT_TRUE(run().failures.empty());
    EXPECT_TRUE(has(page("Anna12.html"), "mine"));
    EXPECT_FALSE(has(page("Anna12.html"), "other chat"));
    const std::string starred = page("Starred Messages9999.html");
    EXPECT_TRUE(has(starred, "Subject: Here are Starred Messages</h3>"));
    EXPECT_EQ(countIn(starred, "<p class='name'>"), 0u);
}

TEST_F(HtmlChatExport, RecoveredOnlyChatsArePagedFromTheRecoveredMessages) {
    make.state().currentNodeInfo.emplace().whatsAppNodeName = make.text("Owner");
    make.chat(12, "Anna", "1");
    make.message(12, "live message");
    recovered(40, "Zed", "deleted hello");
    for (int i = 0; i < 4999; ++i) {
        // Appended, not "#" + std::to_string(i): GCC 12 at -O3 warns falsely
        // (-Wrestrict) on that form.
        std::string text = "#";
        text += std::to_string(i);
        recovered(40, "Zed", text);
    }
    recovered(40, "Zed", "deleted again");
    finish();
    ASSERT_EQ(chats(true).size(), 1u);

    ASSERT_TRUE(exportChatsAsHtml(*result, chats(true), out).failures.empty());
    EXPECT_EQ(namesIn(out + "/Chats"), (std::set<std::string>{"Zed40_0.html", "Zed40_1.html"}));
    const std::string oldest = page("Zed40_1.html");
    EXPECT_TRUE(has(oldest, "<title>Zed (UnknownSubject)</title>"));
    EXPECT_TRUE(has(oldest, "> deleted hello </p>"));
    EXPECT_TRUE(has(page("Zed40_0.html"), "> deleted again </p>"));

    // The combined recovery's page holds the whole chat, titled with the
    // account's name.
    ASSERT_TRUE(writeRecoveredChatPages(*result, chats(true), out + "/r").failures.empty());
    EXPECT_EQ(namesIn(out + "/r/Chats"), std::set<std::string>{"Zed40.html"});
    const std::string whole = test::readFile(out + "/r/Chats/Zed40.html");
    EXPECT_TRUE(has(whole, "<title>Owner</title>"));
    EXPECT_LT(at(whole, "> deleted again </p>"), at(whole, "> deleted hello </p>"));
    EXPECT_FALSE(has(whole, "live message"));
}

TEST_F(HtmlChatExport, UnwritableDestinationReportsFailures) {
    test::writeFile(out, "a file where the folder should be");
    ::chmod(out.c_str(), 0444);
    addBackupFile("Media/p.jpg", "kp", "picture");
    make.chat(12, "Anna", "1");
    mediaMessage(12, Direction::Send, 1, "Media/p.jpg");
    make.message(12, "hi", Direction::Send);

    const ExportReport report = run();
    EXPECT_EQ(report.filesWritten, 0u);
    // Without its folder nothing can be written: one failure, not one a file.
    EXPECT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(test::readFile(out), "a file where the folder should be");
}

// The stop comes while Anna's page is made: the moment her newest message,
// and its picture, are on it. Bert's finished page stays, Anna's is never
// written, and not one more of her pictures is copied.
TEST_F(HtmlChatExport, AStoppedExportWritesNoPartialPage) {
    make.chat(13, "Bert", "2");
    make.message(13, "bert's message");
    make.chat(12, "Anna", "1");
    make.message(12, "older message");
    constexpr int kPictures = 3;
    for (int n = 0; n < kPictures; ++n) {
        const std::string number = std::to_string(n);
        const std::string stored = std::string("Media/p").append(number).append(".jpg");
        addBackupFile(stored, std::string("k").append(number),
                      std::string("picture ").append(number));
        mediaMessage(12, Direction::Send, 1, stored);
    }
    finish();

    std::stop_source stop;
    ItemCounter counter{0};
    int messagesDone = 0;
    ExportControl control{stop.get_token(), &counter};
    control.messageDone = [&] {
        ++messagesDone;
        if (counter.load() == 1) {  // Bert's page is done: stop within Anna's
            stop.request_stop();
        }
    };
    const ExportReport report = exportChatsAsHtml(*result, chats(), out, control);

    EXPECT_EQ(namesIn(out + "/Chats"), std::set<std::string>{"Bert13.html"});
    EXPECT_EQ(counter.load(), 1);
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0], "export cancelled at the chat Anna");
    EXPECT_EQ(messagesDone, 2);
    EXPECT_EQ(namesIn(out + "/Media Files").size(), 1u);

    // Stopped before it starts, an export writes nothing at all.
    const ExportReport none = exportChatsAsHtml(*result, chats(), out + "/2", {stop.get_token()});
    EXPECT_EQ(none.failures, std::vector<std::string>{"export cancelled before the chat Bert"});
    EXPECT_TRUE(namesIn(out + "/2/Chats").empty());
}

// Pages are converted and written a slice at a time; characters of two,
// three and four bytes must come out whole wherever a slice ends.
TEST(KTHtmlController, LongPagesAreWrittenWholeAcrossSlices) {
    test::TempHome home;
    std::string text;
    while (text.size() < 300 * 1024) {
        text += "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a, é, €, 😀
    }
    KTHtmlController page;
    page.initMessageHtmlHeader("t");
    page.addHtmlContent(text);
    ExportReport report;
    ASSERT_TRUE(page.writeHtmlInPath(home.path() + "/p.html", report));
    EXPECT_EQ(test::readFile(home.path() + "/p.html"), utf16LeWithBom(page.strHtmlContent));
}

}  // namespace
}  // namespace vessamo
