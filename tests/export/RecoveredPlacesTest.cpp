// Where a recovered message was found, as the exported chat pages and the
// chat report show it, on a scanned backup whose database lost messages and
// a whole chat.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "export/DeletedChatSample.h"
#include "export/HtmlChatExport.h"
#include "export/HtmlText.h"
#include "export/ReportChat.h"
#include "export/ReportExport.h"
#include "export/ReportOrigin.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

// Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on a string
// literal added to a temporary string.
std::string joined(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const std::string_view part : parts) {
        text.append(part);
    }
    return text;
}

// The chat pages are UTF-16LE: what is looked for is encoded the same way.
std::string utf16(std::string_view utf8) {
    std::string units;
    appendUtf16Le(units, utf8);
    return units;
}

size_t countOf(const std::string& text, std::string_view part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class RecoveredPlaces : public ::testing::Test {
protected:
    void SetUp() override {
        result = test::scanBackupWithDeletedChat(home.path() + "/backup");
        ASSERT_TRUE(result);
        ASSERT_EQ(result->deletedChats, std::vector<int32_t>{test::kDeletedChatKey});
        for (const auto* list : {&result->WhatsAppConvChatArray, &result->whatsAppArray}) {
            for (const KTWhatsAppCovNode& chat : *list) {
                if (!chat.bStarredCovMessage) {
                    chats.push_back(&chat);
                }
            }
        }
    }

    test::TempHome home;
    std::string out = home.path() + "/out";
    ScanResultPtr result;
    std::vector<const KTWhatsAppCovNode*> chats;
};

// Pages run newest first; under each recovered message's name line stands
// where it was found, under a live one nothing, and the deleted chat has a
// page of its own that says what it is.
TEST_F(RecoveredPlaces, ChatPagesCaptionEachRecoveredMessageAndGiveTheDeletedChatAPage) {
    ASSERT_TRUE(exportChatsAsHtml(*result, chats, out).failures.empty());
    const std::string nameLine = utf16("<p class='name'>");
    size_t captioned = 0;
    for (const KTWhatsAppCovNode* chat : chats) {
        SCOPED_TRACE(chat->currentChatName.str());
        const std::string page = test::readFile(
            joined({out, "/Chats/", chat->currentChatName, std::to_string(chat->chatID), ".html"}));
        const bool deletedChat = chat->chatID == test::kDeletedChatKey;
        EXPECT_EQ(
            page.find(utf16("the chat was deleted; only these recovered")) != std::string::npos,
            deletedChat);
        const MessageRange messages = result->messagesOf(*chat);
        ASSERT_EQ(countOf(page, nameLine), messages.size());
        size_t at = page.find(nameLine);
        for (size_t i = messages.size(); i-- > 0;) {
            const KTWhatsAppNode& message = messages[i];
            const size_t next = page.find(nameLine, at + 1);
            const std::string block = page.substr(at, next - at);
            at = next;
            EXPECT_TRUE(message.bDeleted || !deletedChat);
            const RecoveredPlace place = recoveredPlaceOf(*result, message);
            const std::string caption =
                utf16(joined({" title='", htmlEscape(recoveredExplanation(place)), "'>",
                              htmlEscape(recoveredCaption(place)), "</p>"}));
            ASSERT_EQ(block.find(caption) != std::string::npos, message.bDeleted);
            EXPECT_EQ(block.find(utf16("class='recovered'")) != std::string::npos,
                      message.bDeleted);
            captioned += message.bDeleted ? 1 : 0;
            EXPECT_EQ(block.find(utf16(kMediaNotRecovered)) != std::string::npos,
                      message.bDeleted && message.isHaveAttch);
        }
    }
    EXPECT_GT(captioned, 200u);
}

// The examiner's report names the place on the page and in the JSON of
// each recovered message and of none else, and lists the deleted chat as
// what it is.
TEST_F(RecoveredPlaces, TheReportShowsEachPlaceAndListsTheDeletedChat) {
    ASSERT_TRUE(exportChatReport(*result, chats, out).failures.empty());
    const std::string report = out + "/" + kReportFolder;
    const std::string index = test::readFile(report + "/index.html");
    EXPECT_EQ(countOf(index, "(deleted chat, recovered)"), 1u);
    size_t recovered = 0;
    for (const KTWhatsAppCovNode* chat : chats) {
        const std::string title = chatTitleOf(*chat);
        SCOPED_TRACE(title);
        const auto data =
            nlohmann::json::parse(test::readFile(joined({report, "/Chats/", title, ".json"})));
        const std::string page = test::readFile(joined({report, "/Chats/", title, ".html"}));
        const bool deletedChat = chat->chatID == test::kDeletedChatKey;
        EXPECT_EQ(data["chat"]["isDeletedChat"], deletedChat);
        EXPECT_EQ(page.find("Deleted chat, only recovered messages left") != std::string::npos,
                  deletedChat);
        if (deletedChat) {
            EXPECT_NE(index.find(joined({">", title, "</a> <span class=\"rec\">(deleted chat"})),
                      std::string::npos);
        }
        size_t inJson = 0;
        for (const auto& message : data["messages"]) {
            if (!message.value("recovered", false)) {
                EXPECT_FALSE(message.contains("origin")) << message.dump();
                continue;
            }
            ++inJson;
            ASSERT_TRUE(message["origin"].is_string()) << message.dump();
            const std::string label = recoveredPlaceLabel(
                {message["origin"].get<std::string_view>(), message["textCut"].get<bool>()});
            EXPECT_NE(page.find(joined({"deleted \u00b7 found in ", label, "</span>"})),
                      std::string::npos)
                << label;
        }
        EXPECT_EQ(countOf(page, "deleted \u00b7 found in "), inJson);
        EXPECT_EQ(countOf(page, "Photo \u2014 not recovered with the message"),
                  chat->chatID == test::kPictureChatKey ? 1u : 0u);
        recovered += inJson;
    }
    EXPECT_GT(recovered, 200u);
}

}  // namespace
}  // namespace vessamo
