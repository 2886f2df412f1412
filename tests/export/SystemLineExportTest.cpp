#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "export/HtmlChatExport.h"
#include "export/HtmlText.h"
#include "export/TextExports.h"
#include "support/ExportFixture.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;

std::string utf16(std::string_view utf8) {
    std::string units;
    appendUtf16Le(units, utf8);
    return units;
}

size_t countIn(const std::string& text, const std::string& needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

// A chat opened by WhatsApp's notice, a group event, and two people talking.
class SystemLineExport : public test::ExportFixture {
protected:
    void SetUp() override {
        make.chat(3, "Crew", "120363000000000001@g.us", true).currentSubject = std::nullopt;
        system(make.message(3, "", Direction::Receive, test::kMarch14At1509),
               "Messages and calls are end-to-end encrypted");
        system(make.message(3, "", Direction::Receive, test::kMarch14At1509), "Group created");
        KTWhatsAppNode& anna = make.message(3, "hello", Direction::Receive, test::kMarch14At1509);
        anna.messageName = make.text("Anna");
        anna.messageNumb = make.text("4917012345678");
        KTWhatsAppNode& owner = make.message(3, "hi", Direction::Send, test::kMarch14At1509);
        owner.messageName = make.text("Olga Owner");
        owner.messageNumb = make.text("491609876543");
        finish();
    }

    void system(KTWhatsAppNode& message, std::string_view text) {
        message.messageKind = MessageKind::System;
        message.systemText = make.text(text);
    }
};

TEST_F(SystemLineExport, ChatPagesShowSystemRowsAsLinesNotBubbles) {
    test::ScopedTimeZone zone("Europe/Berlin");
    ASSERT_TRUE(exportChatsAsHtml(*result, chats(), out).failures.empty());
    const std::string page = test::readFile(out + "/Chats/Crew3.html");
    const std::string line = utf16("<p class='system' style='text-align:center;color:#8a8a8a'>");
    EXPECT_EQ(countIn(page, line), 2u);
    EXPECT_NE(page.find(line + utf16("Group created &nbsp;&nbsp; 03-14-2021 15:09</p>")),
              std::string::npos);
    // Two bubbles with their authors, no name line and no bubble for the rest.
    EXPECT_EQ(countIn(page, utf16("<p class='name'>")), 2u);
    EXPECT_NE(page.find(utf16("Name: Anna ")), std::string::npos);
    EXPECT_NE(page.find(utf16("Name: Olga Owner ")), std::string::npos);
    EXPECT_EQ(countIn(page, utf16("<p class='triangle-isosceles")), 2u);
}

TEST_F(SystemLineExport, TextFilesMarkSystemLinesAndCardsSkipThem) {
    test::ScopedTimeZone zone("Europe/Berlin");
    ASSERT_TRUE(ExportChatAsTextthreader(*result, chats(), out).failures.empty());
    const std::string text = test::readFile(out + "/Chats/Crew-(null).txt");
    EXPECT_NE(text.find("--- Group created ---  date:03-14-2021 15:09"), std::string::npos);
    EXPECT_NE(text.find("--- Messages and calls are end-to-end encrypted ---"), std::string::npos);
    EXPECT_EQ(countIn(text, "Name:"), 2u);
    EXPECT_NE(text.find("Name:Anna  Message:hello"), std::string::npos);

    ASSERT_TRUE(ExportSelectedChatContactsthreader(*result, chats(), out).failures.empty());
    // Anna's and the owner's cards; nothing for the nameless system rows.
    std::set<std::string> cards;
    for (const auto& entry : fs::directory_iterator(out + "/Chats")) {
        if (entry.path().extension() == ".vcf") {
            cards.insert(entry.path().filename().string());
        }
    }
    EXPECT_EQ(cards, (std::set<std::string>{"Anna.vcf", "Olga Owner.vcf"}));
}

}  // namespace
}  // namespace vessamo
