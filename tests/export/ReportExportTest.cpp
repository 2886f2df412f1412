#include <gtest/gtest.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "export/ReportExport.h"
#include "support/ExportFixture.h"

namespace vessamo {
namespace {

using json = nlohmann::json;
using test::kMarch14At1509;
using test::namesIn;

AppleTime minutesAfter(int minutes) {
    return AppleTime{kMarch14At1509.seconds + 60LL * minutes};
}

size_t countOf(const std::string& text, std::string_view part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class ReportExport : public test::ExportFixture {
protected:
    ExportReport run(ReportOptions options = {}, const ExportControl& control = {}) {
        finish();
        return exportChatReport(*result, chats(), out, options, control);
    }
    [[nodiscard]] std::string file(const std::string& name) const {
        return test::readFile(out + "/Report/" + name);
    }
    [[nodiscard]] json chatJson(const std::string& name) const {
        return json::parse(file("Chats/" + name));
    }
};

// A record reads from its first message to its last, a page of a long chat
// at a time, and every page leads to the others.
TEST_F(ReportExport, OldestFirstInPagesWithDaysAndLinks) {
    make.chat(1, "Anna Schmidt", "4917012345678@s.whatsapp.net");
    // Row order is not time order: a carved or late row comes last.
    make.message(1, "third", Direction::Receive, minutesAfter(60 * 24));
    make.message(1, "first", Direction::Send, minutesAfter(0));
    make.message(1, "second", Direction::Receive, minutesAfter(5));
    make.message(1, "fourth", Direction::Send, minutesAfter(60 * 24 + 1));
    make.message(1, "fifth", Direction::Receive, minutesAfter(60 * 48));
    const test::ScopedTimeZone berlin("Europe/Berlin");
    const ExportReport report = run({.messagesPerPage = 2});

    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(namesIn(out + "/Report/Chats"),
              (std::set<std::string>{"Anna Schmidt.html", "Anna Schmidt_2.html",
                                     "Anna Schmidt_3.html", "Anna Schmidt.json"}));
    const std::string page1 = file("Chats/Anna Schmidt.html");
    const std::string page2 = file("Chats/Anna Schmidt_2.html");
    EXPECT_EQ(page1.rfind("<!DOCTYPE html>", 0), 0u);  // UTF-8, no byte-order mark
    EXPECT_NE(page1.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_LT(page1.find("first"), page1.find("second"));
    EXPECT_EQ(page1.find("third"), std::string::npos);
    EXPECT_NE(page2.find("third"), std::string::npos);
    EXPECT_NE(page2.find("fourth"), std::string::npos);
    // One separator per day on a page; a page opens with its day.
    EXPECT_EQ(countOf(page1, "class=\"day\""), 1u);
    EXPECT_NE(page1.find("Sunday, 14 March 2021"), std::string::npos);
    EXPECT_NE(page2.find("Monday, 15 March 2021"), std::string::npos);
    EXPECT_NE(page1.find("Times are shown in Europe/Berlin."), std::string::npos);
    EXPECT_NE(page1.find(">15:09</time>"), std::string::npos);
    EXPECT_NE(page2.find("href=\"Anna%20Schmidt.html\">\u00ab First"), std::string::npos);
    EXPECT_NE(page2.find("href=\"Anna%20Schmidt_3.html\">Last"), std::string::npos);
    EXPECT_NE(page1.find("class=\"off\">\u2039 Previous"), std::string::npos);

    const json chat = chatJson("Anna Schmidt.json");
    ASSERT_EQ(chat["messages"].size(), 5u);
    EXPECT_EQ(chat["timeZone"], "Europe/Berlin");
    EXPECT_EQ(chat["messages"][0]["text"], "first");
    EXPECT_EQ(chat["messages"][0]["time"], "2021-03-14T15:09:00+01:00");
    EXPECT_EQ(chat["messages"][0]["fromMe"], true);
    EXPECT_EQ(chat["messages"][4]["page"], "Anna Schmidt_3.html");
    EXPECT_EQ(chat["chat"]["pages"].size(), 3u);
}

// Local times follow the zone across its change to summer time; --utc
// shows UTC and says so.
TEST_F(ReportExport, LocalTimesFollowTheZoneAndUtcOnRequest) {
    make.chat(1, "Anna", "1@s.whatsapp.net");
    make.message(1, "hello", Direction::Receive, kMarch14At1509);
    // 2021-03-28 00:30 and 01:30 UTC: either side of Berlin's change.
    make.message(1, "before", Direction::Receive, AppleTime::fromUnix(1616891400));
    make.message(1, "after", Direction::Receive, AppleTime::fromUnix(1616895000));
    const test::ScopedTimeZone berlin("Europe/Berlin");
    finish();
    ASSERT_TRUE(exportChatReport(*result, chats(), out).failures.empty());
    const json local = chatJson("Anna.json")["messages"];
    EXPECT_EQ(local[1]["time"], "2021-03-28T01:30:00+01:00");
    EXPECT_EQ(local[2]["time"], "2021-03-28T03:30:00+02:00");

    ASSERT_TRUE(exportChatReport(*result, chats(), out, {.utc = true}).failures.empty());
    const std::string page = file("Chats/Anna.html");
    EXPECT_NE(page.find("Times are shown in UTC."), std::string::npos);
    EXPECT_NE(page.find("datetime=\"2021-03-14T14:09:00Z\">14:09</time>"), std::string::npos);
    EXPECT_EQ(chatJson("Anna.json")["messages"][2]["time"], "2021-03-28T01:30:00Z");
}

// Names and texts come from other people's phones: they are shown, never
// obeyed, and a name can neither leave the folder nor take another's file.
TEST_F(ReportExport, TextsAreEscapedAndFileNamesSafeAndUnique) {
    make.chat(1, "Anna Schmidt", "1@s.whatsapp.net");
    make.chat(2, "Anna Schmidt", "2@s.whatsapp.net");
    make.chat(3, "../../<b>x</b>", "3@s.whatsapp.net");
    make.message(3, "<script>alert(1)</script> & \"quotes\"", Direction::Receive, kMarch14At1509)
        .messageName = make.text("<img src=x onerror=alert(2)>");
    const ExportReport report = run();

    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(namesIn(out + "/Report/Chats"),
              (std::set<std::string>{"Anna Schmidt.html", "Anna Schmidt.json",
                                     "Anna Schmidt (2).html", "Anna Schmidt (2).json",
                                     ".._.._<b>x<_b>.html", ".._.._<b>x<_b>.json"}));
    const std::string page = file("Chats/.._.._<b>x<_b>.html");
    EXPECT_EQ(page.find("<script>alert"), std::string::npos);
    EXPECT_EQ(page.find("<img src=x"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt; &amp; &quot;quotes&quot;"),
              std::string::npos);
    const std::string index = file("index.html");
    EXPECT_NE(index.find("href=\"Chats/Anna%20Schmidt%20%282%29.html\""), std::string::npos);
    EXPECT_EQ(index.find("<b>x</b>"), std::string::npos);
    // The message index is a script: nothing in it may close or open a tag.
    const std::string search = file("search-index.js");
    EXPECT_EQ(search.find('<'), std::string::npos);
    EXPECT_EQ(chatJson(".._.._<b>x<_b>.json")["messages"][0]["author"],
              "<img src=x onerror=alert(2)>");
    EXPECT_EQ(test::treeDigest(home.path()).size(), 8u);  // 6 chat files, index, search
}

// Cards, places, media, recovered and starred messages: what each shows on
// the page and says in the JSON.
TEST_F(ReportExport, MessagesShowTheirCardsPlacesMediaAndMarks) {
    make.chat(6, "Group Chat", "1-2@g.us", true).currentSubject = make.text("Climbing crew");
    KTWhatsAppNode& card = make.message(6, "", Direction::Receive, kMarch14At1509);
    card.messageName = make.text("Clara");
    card.vcardName = make.text("Mia Sommer");
    card.vcardInfo = make.text(
        "BEGIN:VCARD\nFN:Mia Sommer\nTEL;type=CELL:+49 151 2345678\n"
        "item1.TEL:+49 30 1234\nEND:VCARD");
    KTWhatsAppNode& place = make.message(6, "", Direction::Send, minutesAfter(1));
    place.locationInfo = make.text("48.1372 11.5756");
    place.bStarredMessage = true;
    mediaMessage(6, Direction::Receive, 1, "Media/a.jpg").messageName = make.text("Ben");
    addBackupFile("Media/a.jpg", "ab/abcdef", "JPEGBYTES");
    mediaMessage(6, Direction::Receive, 3, "Media/gone.opus").messageName = make.text("Ben");
    KTWhatsAppNode& carved = make.message(6, "deleted words", Direction::Receive, minutesAfter(9));
    carved.messageName = make.text("Clara");
    carved.bDeleted = true;
    KTWhatsAppNode& carvedMedia = make.message(6, "", Direction::Receive, minutesAfter(10));
    carvedMedia.bDeleted = true;
    carvedMedia.isHaveAttch = true;
    carvedMedia.attchType = -1;
    make.state().index.bNewAppVersion = true;
    const ExportReport report = run();
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.missingMedia, (std::set<std::string>{"Media/gone.opus"}));

    const std::string page = file("Chats/Climbing crew.html");
    EXPECT_EQ(file("Cards/Mia Sommer.vcf").rfind("BEGIN:VCARD\nFN:Mia Sommer", 0), 0u);
    EXPECT_NE(page.find("<li>+49 151 2345678</li><li>+49 30 1234</li>"), std::string::npos);
    EXPECT_NE(page.find("href=\"../Cards/Mia%20Sommer.vcf\""), std::string::npos);
    EXPECT_NE(page.find("openstreetmap.org/?mlat=48.137200&amp;mlon=11.575600"), std::string::npos);
    EXPECT_NE(page.find("<img class=\"thumb\" loading=\"lazy\" alt=\"Photo\" "
                        "src=\"../Media%20Files/abcdef.jpg\">"),
              std::string::npos);
    EXPECT_EQ(file("Media Files/abcdef.jpg"), "JPEGBYTES");
    EXPECT_NE(page.find("Voice note \u2014 not in the backup"), std::string::npos);
    EXPECT_NE(page.find("Attachment \u2014 not recovered with the message"), std::string::npos);
    EXPECT_EQ(countOf(page, "class=\"flag\">Recovered</div>"), 2u);
    EXPECT_EQ(countOf(page, "\u2605 Starred"), 1u);
    // Group members keep distinct colours.
    EXPECT_NE(page.find("author a0\">Clara"), std::string::npos);
    EXPECT_NE(page.find("author a1\">Ben"), std::string::npos);
    EXPECT_NE(page.find("author a2\">Me"), std::string::npos);

    const json messages = chatJson("Climbing crew.json")["messages"];
    ASSERT_EQ(messages.size(), 6u);
    EXPECT_EQ(messages[0]["contact"]["numbers"], json::array({"+49 151 2345678", "+49 30 1234"}));
    EXPECT_EQ(messages[0]["contact"]["file"], "../Cards/Mia Sommer.vcf");
    // By time: the media came in the card's minute, the place a minute later.
    EXPECT_EQ(messages[1]["media"]["file"], "../Media Files/abcdef.jpg");
    EXPECT_EQ(messages[2]["media"]["state"], "notInSource");
    EXPECT_EQ(messages[3]["location"]["latitude"], 48.1372);
    EXPECT_EQ(messages[3]["starred"], true);
    EXPECT_EQ(messages[4]["recovered"], true);
    EXPECT_EQ(messages[4]["text"], "deleted words");
}

// The starred list gathers messages of every chat: each says where it was
// written. A chat that only recovered messages make is listed as such, and
// a text that is not UTF-8 still leaves JSON a parser reads.
TEST_F(ReportExport, StarredListNamesEachChatAndRecoveredOnlyChatsAreMarked) {
    make.chat(1, "Anna", "1@s.whatsapp.net");
    make.chat(6, "Group Chat", "1-2@g.us", true).currentSubject = make.text("Family");
    make.message(1, "star one", Direction::Receive, kMarch14At1509).bStarredMessage = true;
    make.message(6, "star two", Direction::Send, minutesAfter(3)).bStarredMessage = true;
    make.message(6, std::string("broken \xff\xfe text"), Direction::Receive, minutesAfter(4));
    make.state().wpConvChatArray.push_back(makeStarredConversation());
    recovered(42, "Ghost", "only recovered");
    finish();
    std::vector<const KTWhatsAppCovNode*> all = chats();
    for (const KTWhatsAppCovNode* chat : chats(true)) {
        all.push_back(chat);
    }
    const ExportReport report = exportChatReport(*result, all, out);
    ASSERT_TRUE(report.failures.empty());

    const std::string starred = file("Chats/Starred Messages.html");
    EXPECT_EQ(countOf(starred, "<div class=\"msg "), 2u);
    EXPECT_NE(starred.find("<div class=\"from\">in Anna</div>"), std::string::npos);
    EXPECT_NE(starred.find("<div class=\"from\">in Family</div>"), std::string::npos);
    const json starredJson = chatJson("Starred Messages.json");
    EXPECT_EQ(starredJson["chat"]["isStarredList"], true);
    EXPECT_EQ(starredJson["messages"][1]["chatId"], 6);

    const json family = chatJson("Family.json");
    EXPECT_EQ(family["messages"][1]["text"], "broken \ufffd\ufffd text");
    const std::string index = file("index.html");
    EXPECT_EQ(countOf(index, "<tr data-row="), 4u);
    EXPECT_EQ(countOf(index, "(recovered only)"), 1u);
    // The starred list repeats messages: the totals count each once.
    EXPECT_NE(index.find("3 conversations \u00b7 4 messages \u00b7 1 recovered"),
              std::string::npos);
}

TEST_F(ReportExport, AStopLeavesNoPartialPageAndNoIndex) {
    make.chat(1, "Anna", "1@s.whatsapp.net");
    for (int i = 0; i < 50; ++i) {
        make.message(1, std::to_string(i), Direction::Receive, minutesAfter(i));
    }
    std::stop_source stop;
    stop.request_stop();
    const ExportReport report = run({}, ExportControl{stop.get_token()});
    EXPECT_EQ(report.failures.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(out + "/Report/index.html"));
    EXPECT_TRUE(namesIn(out + "/Report/Chats").empty());
}

}  // namespace
}  // namespace vessamo
