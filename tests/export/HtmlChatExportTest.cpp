#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <set>

#include "export/HtmlChatExport.h"
#include "export/HtmlText.h"
#include "export/KTHtmlController.h"
#include "export/MessageAttachmentCopy.h"
#include "support/ExportFixture.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;

// UTF-16LE page bytes (after the byte-order mark) back to UTF-8.
std::string decodePage(const std::string& bytes) {
    std::string out;
    auto unitAt = [&bytes](size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    };
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        uint32_t cp = unitAt(i);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < bytes.size()) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (unitAt(i + 2) - 0xDC00);
            i += 2;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

size_t countOf(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

KTWhatsAppCovNodePtr chat(std::string name, std::optional<std::string> number, int32_t id) {
    auto node = std::make_shared<KTWhatsAppCovNode>();
    node->currentChatName = std::move(name);
    node->currentChatNumber = std::move(number);
    node->chatID = id;
    node->hasload = true;
    return node;
}

KTWhatsAppNodePtr text(std::string type, std::string content, std::string name = "Anna") {
    auto node = std::make_shared<KTWhatsAppNode>();
    node->messageType = std::move(type);
    node->messageContent = std::move(content);
    node->messageName = std::move(name);
    node->messageDate = "03-14-2021 15:09";
    return node;
}

KTWhatsAppNodePtr media(std::string type, int32_t attchType, std::string stored) {
    auto node = text(std::move(type), "caption");
    node->isHaveAttch = true;
    node->attchType = attchType;
    node->messageAttchpath = std::move(stored);
    return node;
}

class HtmlChatExport : public test::ExportFixture {
protected:
    ExportReport run(const std::vector<KTWhatsAppCovNodePtr>& chats,
                     const std::atomic<bool>* cancel = nullptr) {
        return exportChatsAsHtml(source, chats, out, cancel);
    }

    std::string page(const std::string& name) const {
        return decodePage(test::readFile(out + "/Chats/" + name));
    }

    std::set<std::string> listing(const std::string& folder) const {
        std::set<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(out + "/" + folder, ec)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }
};

TEST_F(HtmlChatExport, PageNamesComeFromNameNumberOrIdAndStayInside) {
    auto named = chat("Anna", "4915112345678", 12);
    auto nameless = chat("", "491701234567", 20);
    auto group3 = chat("Group Chat", "123-456@g.us", 3);
    auto group4 = chat("Group Chat", "123-457@g.us", 4);
    auto nil = chat("A", std::nullopt, 7);  // prints "(null)", long enough on its own
    auto shortNumber = chat("B", "9", 8);
    auto nothing = chat("", "", 9);
    auto hostile = chat("../../etc", "x", 5);
    auto dots = chat("", "..", 6);
    const ExportReport report =
        run({named, nameless, group3, group4, nil, shortNumber, nothing, hostile, dots});

    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.filesWritten, 9u);
    const std::set<std::string> expected = {
        "Anna12.html",      "491701234567.html", "Group Chat3.html",
        "Group Chat4.html", "(null).html",       "98.html",
        "9.html",           ".._.._etc5.html",   "__.html"};
    EXPECT_EQ(listing("Chats"), expected);
    // Nothing landed anywhere but the pages folder.
    EXPECT_EQ(test::treeDigest(home.path()).size(), 9u);
}

TEST_F(HtmlChatExport, SplitsAt5000MessagesNewestFirst) {
    auto whole = chat("Anna", "1", 12);
    auto split = chat("Bert", "2", 13);
    for (int i = 0; i < 5001; ++i) {
        if (i < 5000) {
            whole->appNodeArray.push_back(text("Receive", '#' + std::to_string(i) + '#'));
        }
        split->appNodeArray.push_back(text("Receive", '#' + std::to_string(i) + '#'));
    }
    const ExportReport report = run({whole, split});
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(listing("Chats"),
              (std::set<std::string>{"Anna12.html", "Bert13_0.html", "Bert13_1.html"}));

    const std::string one = page("Anna12.html");
    EXPECT_EQ(countOf(one, "<p class='triangle-isosceles'>"), 5000u);

    const std::string first = page("Bert13_0.html");
    const std::string second = page("Bert13_1.html");
    EXPECT_EQ(countOf(first, "<p class='triangle-isosceles'>"), 5000u);
    EXPECT_LT(first.find("> #5000# </p>"), first.find("> #4999# </p>"));
    EXPECT_NE(first.find("> #1# </p>"), std::string::npos);
    EXPECT_EQ(first.find("> #0# </p>"), std::string::npos);
    EXPECT_EQ(countOf(second, "<p class='triangle-isosceles'>"), 1u);
    EXPECT_NE(second.find("> #0# </p>"), std::string::npos);
    EXPECT_NE(second.find("<h3>Name: Bert "), std::string::npos);
}

TEST_F(HtmlChatExport, PageIsUtf16WithBomAndEveryTextEscaped) {
    auto anna = chat("Anna & <b>Co</b>", "+49 151", 12);
    anna->currentSubject = std::nullopt;
    auto nameless = text("Receive", "Grüße 😀", "");
    nameless->messageNumb = "4915199999";
    auto card = text("Receive", "");
    card->vcardName = "Card \"Q\"";
    card->vcardInfo = "BEGIN:VCARD";
    anna->appNodeArray = {text("Send", "<script>alert('x')</script>"), nameless, card};
    ASSERT_TRUE(run({anna}).failures.empty());

    const std::string bytes = test::readFile(out + "/Chats/Anna & <b>Co<_b>12.html");
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    const std::string html = decodePage(bytes);
    EXPECT_EQ(html.rfind("<!DOCTYPE html><html lang='en'><head><meta charset='utf-8'><title>"
                         "Anna &amp; &lt;b&gt;Co&lt;/b&gt; ((null))</title><style>body {",
                         0),
              0u);
    EXPECT_NE(html.find("</style></head><body><h1>Anna &amp; &lt;b&gt;Co&lt;/b&gt; ((null))</h1>"
                        "<div id='container'><div class='content'><p><h3>Name: Anna &amp; "
                        "&lt;b&gt;Co&lt;/b&gt; &nbsp;&nbsp;Phone: +49 151 &nbsp;&nbsp;Subject: "
                        "(null)</h3><hr/><p>"),
              std::string::npos);
    // Nine rules start with a tab and five more sit inside the bubble rules.
    EXPECT_EQ(countOf(html, "\t"), 14u);
    EXPECT_NE(html.find("\thr{height:1px;border:0;border-bottom:1px dotted #cccccc;margin:0;}"
                        ".imgdic{left:170px; position:relative;}</style>"),
              std::string::npos);
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_NE(html.find("<p class='triangle-isosceles2'> "
                        "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; </p>"),
              std::string::npos);
    // Newest first, and a missing name falls back to the number.
    EXPECT_LT(html.find("Card &quot;Q&quot;"), html.find("Name: 4915199999 "));
    EXPECT_NE(html.find("<p class='triangle-isosceles'> Grüße 😀 </p>"), std::string::npos);
    EXPECT_NE(
        html.find("<p class='triangle-isosceles2'> Card &quot;Q&quot;        BEGIN:VCARD</p>"),
        std::string::npos);
    EXPECT_EQ(html.size() - html.rfind("<hr/></div></div></body></html>"), 31u);
}

TEST_F(HtmlChatExport, MediaRenderedByTypeAndDirection) {
    auto anna = chat("Anna", "1", 12);
    struct Case {
        const char* type;
        int32_t attchType;
        const char* stored;
        const char* key;
    };
    const Case cases[] = {
        {"Send", 1, "Media/p1.jpg", "k1"},    {"Receive", 1, "Media/p2.jpg", "k2"},
        {"Send", 2, "Media/v1.mp4", "k3"},    {"Receive", 11, "Media/v2.mp4", "k4"},
        {"Receive", 3, "Media/a.opus", "k5"}, {"Send", 8, "Media/d.pdf", "k6"},
        {"Receive", 8, "Media/e.pdf", "k7"},  {"Receive", 5, "Media/l.bin", "k8"}};
    for (const Case& c : cases) {
        addBackupFile(c.stored, c.key, std::string("data of ") + c.key);
        anna->appNodeArray.push_back(media(c.type, c.attchType, c.stored));
    }
    const ExportReport report = run({anna});
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.filesWritten, 9u);
    EXPECT_EQ(test::readFile(out + "/Media Files/k6.pdf"), "data of k6");

    const std::string html = page("Anna12.html");
    const char* expected[] = {
        "<p class='imgdic'><img width='320' height='240' src='../Media Files/k1.jpg'/></p>",
        "15:09 <p><p><img width='320' height='240' src='../Media Files/k2.jpg'/></p>",
        "<p><video width='320' height='240' src='../Media Files/k3.mp4' "
        "controls='controls'>Video</video></p>",
        "<p><video width='320' height='240' src='../Media Files/k4.mp4' "
        "controls='controls'>Video</video></p>",
        "<p><audio src='../Media Files/k5.opus' controls='controls'>Audio</audio></p>",
        "<p class='imgdic'><iframe src='../Media Files/k6.pdf' style='width:600px; "
        "height:500px;'frameborder='0'></iframe></p>",
        "15:09 <p><iframe src='../Media Files/k7.pdf' style='width:600px; "
        "height:500px;'frameborder='0'></iframe>",
    };
    for (const char* element : expected) {
        EXPECT_NE(html.find(element), std::string::npos) << element;
    }
    // An unknown media type shows its name line alone; captions never show.
    EXPECT_EQ(countOf(html, "<p class='name'>"), 8u);
    EXPECT_EQ(html.find("caption"), std::string::npos);
    EXPECT_EQ(html.find("triangle-isosceles'>"), std::string::npos);
}

TEST_F(HtmlChatExport, MessagesWithoutACopyAreLeftOut) {
    auto anna = chat("Anna", "1", 12);
    auto thumbOnly = media("Receive", 1, "");
    thumbOnly->messageName = "Thumby";
    thumbOnly->messageThumPath = "Media/t.jpg.thumb";
    addBackupFile("Media/t.jpg.thumb", "kt", "thumb");
    auto missing = media("Receive", 1, "Media/gone.jpg");
    missing->messageName = "Gone";
    // The thumbnail stands in when the media itself is not in the backup.
    auto fallback = media("Send", 1, "Media/big.jpg");
    fallback->messageThumPath = "Media/big.jpg.thumb";
    addBackupFile("Media/big.jpg.thumb", "kb", "small");
    anna->appNodeArray = {thumbOnly, missing, fallback, text("Send", "still here")};

    const ExportReport report = run({anna});
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_NE(report.failures[0].find("Media/gone.jpg"), std::string::npos);
    EXPECT_EQ(listing("Media Files"), std::set<std::string>{"kb.jpg"});
    const std::string html = page("Anna12.html");
    EXPECT_EQ(html.find("Thumby"), std::string::npos);
    EXPECT_EQ(html.find("Gone"), std::string::npos);
    EXPECT_NE(html.find("still here"), std::string::npos);
    EXPECT_EQ(countOf(html, "<p class='name'>"), 2u);
}

TEST_F(HtmlChatExport, CopiesAreByteIdenticalAndCarryTheMessageTime) {
    test::ScopedTimeZone zone("Europe/Berlin");
    std::string large(MessageAttachmentCopy::kPieceSize + 12345, '\0');
    for (size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<char>((i * 131) >> 7);
    }
    addBackupFile("Media/big.mp4", "kbig", large);
    addBackupFile("Media/empty.jpg", "kempty", "");
    source.fileDateDict["Media/big.mp4"] = "03-14-2021 15:09";
    source.fileDateDict["Media/empty.jpg"] = "02-31-2021 10:00";
    auto anna = chat("Anna", "1", 12);
    anna->appNodeArray = {media("Send", 2, "Media/big.mp4"), media("Send", 1, "Media/empty.jpg")};

    const ExportReport report = run({anna});
    EXPECT_TRUE(report.failures.empty());
    const std::string copy = out + "/Media Files/kbig.mp4";
    struct stat info {};
    ASSERT_EQ(::stat(copy.c_str(), &info), 0);  // before reading it touches the access time
    EXPECT_EQ(info.st_mtime, 1615730940);       // 2021-03-14 14:09 UTC
    EXPECT_EQ(info.st_atime, 1615730940);
    EXPECT_TRUE(test::readFile(copy) == large);
    // An empty media file copies as empty; a date the calendar lacks is ignored.
    const std::string empty = out + "/Media Files/kempty.jpg";
    ASSERT_EQ(::stat(empty.c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 0);
    EXPECT_GT(info.st_mtime, 1615730940);
}

TEST_F(HtmlChatExport, TimelineAndICloudMediaComeFromTheirFolders) {
    source.fullTimelinPath = home.path() + "/timeline";
    source.tempfilePath = home.path() + "/icloud/";
    test::writeFile(source.fullTimelinPath + "/Message/Media/t.jpg", "timeline");
    test::writeFile(source.tempfilePath + "Media/c.jpg", "icloud");
    test::writeFile(home.path() + "/secret", "secret");
    auto fromTimeline = media("Send", 1, "Media/t.jpg");
    fromTimeline->bTimelineNode = true;
    auto fromICloud = media("Send", 1, "Media/c.jpg");
    fromICloud->biCloudNode = true;
    auto escaping = media("Send", 1, "../../secret");
    escaping->bTimelineNode = true;
    auto anna = chat("Anna", "1", 12);
    anna->appNodeArray = {fromTimeline, fromICloud, escaping};

    const ExportReport report = run({anna});
    EXPECT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(listing("Media Files"), (std::set<std::string>{"t.jpg.jpg", "c.jpg"}));
    EXPECT_EQ(test::readFile(out + "/Media Files/c.jpg"), "icloud");
}

TEST_F(HtmlChatExport, FillsUnloadedChatsWithoutStarredMessages) {
    auto mine = text("Receive", "mine");
    mine->chatID = 12;
    auto other = text("Receive", "other chat, starred");
    other->chatID = 13;
    other->bStarredMessage = true;
    device.WhatsAppChatArray = {mine, other};
    auto anna = chat("Anna", "1", 12);
    anna->hasload = false;
    auto starred = makeStarredConversation();

    ASSERT_TRUE(run({anna, starred}).failures.empty());
    // Filled for its pages only, the list is given back afterwards.
    EXPECT_FALSE(anna->hasload);
    EXPECT_TRUE(anna->appNodeArray.empty());
    EXPECT_NE(page("Anna12.html").find("mine"), std::string::npos);
    EXPECT_EQ(page("Anna12.html").find("other chat"), std::string::npos);
    const std::string starredPage = page("Starred Messages9999.html");
    EXPECT_NE(starredPage.find("Subject: Here are Starred Messages</h3>"), std::string::npos);
    EXPECT_EQ(countOf(starredPage, "<p class='name'>"), 0u);
}

TEST_F(HtmlChatExport, UnwritableDestinationReportsFailures) {
    test::writeFile(out, "a file where the folder should be");
    ::chmod(out.c_str(), 0444);
    addBackupFile("Media/p.jpg", "kp", "picture");
    auto anna = chat("Anna", "1", 12);
    anna->appNodeArray = {media("Send", 1, "Media/p.jpg"), text("Send", "hi")};

    const ExportReport report = run({anna});
    EXPECT_EQ(report.filesWritten, 0u);
    // Without its folder nothing can be written: one failure, not one a file.
    EXPECT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(test::readFile(out), "a file where the folder should be");
}

TEST_F(HtmlChatExport, CancelStopsBeforeTheNextChat) {
    std::atomic<bool> cancel{true};
    const ExportReport report = run({chat("Anna", "1", 12)}, &cancel);
    EXPECT_EQ(report.filesWritten, 0u);
    EXPECT_EQ(report.failures.size(), 1u);
    EXPECT_TRUE(listing("Chats").empty());
}

}  // namespace
}  // namespace vessamo

namespace vessamo {
namespace {

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
