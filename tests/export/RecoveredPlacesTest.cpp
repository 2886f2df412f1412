// Where a recovered message was found, as the exported chat pages and the
// chat report show it, on a scanned backup whose database lost messages and
// a whole chat.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "export/DeletedChatSample.h"
#include "export/HtmlChatExport.h"
#include "export/ReportChat.h"
#include "export/ReportExport.h"
#include "export/ReportOrigin.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

using json = nlohmann::json;

// The chat pages are UTF-16LE; the checks read them as UTF-8.
std::string utf8OfPage(const std::string& bytes) {
    std::string text;
    size_t at = bytes.size() >= 2 && bytes[0] == '\xff' && bytes[1] == '\xfe' ? 2 : 0;
    const auto unit = [&bytes](size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    };
    for (; at + 1 < bytes.size(); at += 2) {
        uint32_t code = unit(at);
        if (code >= 0xD800 && code < 0xDC00 && at + 3 < bytes.size()) {
            code = 0x10000 + ((code - 0xD800) << 10) + (unit(at + 2) - 0xDC00);
            at += 2;
        }
        if (code < 0x80) {
            text.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            text.push_back(static_cast<char>(0xC0 | code >> 6));
            text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            text.push_back(static_cast<char>(0xE0 | code >> 12));
            text.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            text.push_back(static_cast<char>(0xF0 | code >> 18));
            text.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            text.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return text;
}

// A page's messages, newest first: what follows each name line.
std::vector<std::string> messageBlocks(const std::string& page) {
    constexpr std::string_view kNameLine = "<p class='name'>";
    std::vector<std::string> blocks;
    for (size_t at = page.find(kNameLine); at != std::string::npos;) {
        const size_t next = page.find(kNameLine, at + 1);
        blocks.push_back(page.substr(at, next == std::string::npos ? next : next - at));
        at = next;
    }
    return blocks;
}

// Joined by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on a
// string literal added to a temporary string.
std::string joined(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const std::string_view part : parts) {
        text.append(part);
    }
    return text;
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
        for (const KTWhatsAppCovNode& chat : result->WhatsAppConvChatArray) {
            chats.push_back(&chat);
        }
        for (const KTWhatsAppCovNode& chat : result->whatsAppArray) {
            chats.push_back(&chat);
        }
        ASSERT_EQ(result->deletedChats, std::vector<int32_t>{test::kDeletedChatKey});
    }

    [[nodiscard]] const KTWhatsAppCovNode& chatOf(int32_t key, bool recoveredOnly) const {
        const auto& list = recoveredOnly ? result->whatsAppArray : result->WhatsAppConvChatArray;
        for (const KTWhatsAppCovNode& chat : list) {
            if (chat.chatID == key) {
                return chat;
            }
        }
        ADD_FAILURE() << "no conversation " << key;
        return list.front();
    }

    test::TempHome home;
    std::string out = home.path() + "/out";
    ScanResultPtr result;
    std::vector<const KTWhatsAppCovNode*> chats;
};

// Every message on a chat page keeps its place; each recovered one says
// under its name line where it was found, a live one says nothing, and the
// deleted chat has a page of its own that says what it is.
TEST_F(RecoveredPlaces, ChatPagesCaptionEachRecoveredMessageAndGiveTheDeletedChatAPage) {
    ASSERT_TRUE(exportChatsAsHtml(*result, chats, out).failures.empty());
    size_t captioned = 0;
    size_t lostMedia = 0;
    std::map<std::string, size_t> places;
    for (const KTWhatsAppCovNode* chat : chats) {
        if (chat->bStarredCovMessage) {
            continue;
        }
        SCOPED_TRACE(chat->currentChatName.str());
        const std::string file =
            joined({out, "/Chats/", chat->currentChatName, std::to_string(chat->chatID), ".html"});
        const std::string page = utf8OfPage(test::readFile(file));
        ASSERT_FALSE(page.empty()) << file;
        const bool deletedChat = chat->chatID == test::kDeletedChatKey;
        EXPECT_EQ(
            page.find("the chat was deleted; only these recovered messages") != std::string::npos,
            deletedChat);
        const MessageRange messages = result->messagesOf(*chat);
        const std::vector<std::string> blocks = messageBlocks(page);
        ASSERT_EQ(blocks.size(), messages.size());
        for (size_t i = 0; i < blocks.size(); ++i) {
            const KTWhatsAppNode& message = messages[messages.size() - 1 - i];
            EXPECT_TRUE(message.bDeleted || !deletedChat);
            const size_t caption = blocks[i].find("<p class='recovered'");
            ASSERT_EQ(caption != std::string::npos, message.bDeleted) << blocks[i];
            if (!message.bDeleted) {
                continue;
            }
            ++captioned;
            const RecoveredPlace place = recoveredPlaceOf(*result, message);
            ASSERT_FALSE(place.where.empty());
            ++places[std::string(place.where.substr(0, place.where.find(' ')))];
            EXPECT_NE(
                blocks[i].find(joined({">Recovered \u00b7 ", recoveredPlaceLabel(place), "</p>"})),
                std::string::npos)
                << blocks[i];
            EXPECT_NE(blocks[i].find(joined({"title='", recoveredExplanation(place), "'"})),
                      std::string::npos);
            if (message.isHaveAttch) {
                ++lostMedia;
                EXPECT_NE(blocks[i].find(kMediaNotRecovered), std::string::npos) << blocks[i];
            }
        }
    }
    EXPECT_GT(captioned, 200u);
    EXPECT_EQ(lostMedia, 1u);
    // Freed cells and pages that once were leaves both give messages back.
    EXPECT_GT(places["freeblock"], 0u);
    EXPECT_GT(places["interior"] + places["freelist"], 0u);
}

// The examiner's report shows the place on the page and in the JSON of
// each recovered message and of none else, and lists the deleted chat as
// what it is in the index.
TEST_F(RecoveredPlaces, TheReportShowsEachPlaceAndListsTheDeletedChat) {
    ASSERT_TRUE(exportChatReport(*result, chats, out).failures.empty());
    const std::string report = out + "/" + kReportFolder;
    const std::string index = test::readFile(report + "/index.html");
    EXPECT_EQ(countOf(index, "(deleted chat, recovered)"), 1u);
    const KTWhatsAppCovNode& deleted = chatOf(test::kDeletedChatKey, true);
    EXPECT_NE(index.find(joined({">", deleted.currentChatName,
                                 "</a> <span class=\"rec\">(deleted chat, recovered)</span>"})),
              std::string::npos);

    size_t recovered = 0;
    for (const KTWhatsAppCovNode* chat : chats) {
        if (chat->bStarredCovMessage) {
            continue;
        }
        const std::string title = chatTitleOf(*chat);
        SCOPED_TRACE(title);
        const json data = json::parse(test::readFile(joined({report, "/Chats/", title, ".json"})));
        const std::string page = test::readFile(joined({report, "/Chats/", title, ".html"}));
        EXPECT_EQ(data["chat"]["isDeletedChat"], chat->chatID == test::kDeletedChatKey);
        EXPECT_EQ(page.find("Deleted chat, only recovered messages left") != std::string::npos,
                  chat->chatID == test::kDeletedChatKey);
        std::map<std::string, size_t> shownPlaces;
        for (const json& message : data["messages"]) {
            if (!message.value("recovered", false)) {
                EXPECT_FALSE(message.contains("origin")) << message.dump();
                continue;
            }
            ++recovered;
            ASSERT_TRUE(message["origin"].is_string()) << message.dump();
            std::string label = message["origin"].get<std::string>();
            if (message["textCut"].get<bool>()) {
                label.append(" \u00b7 text cut");
            }
            ++shownPlaces[label];
        }
        // Each place appears on the page as often as the JSON names it.
        size_t onPage = 0;
        for (const auto& [label, count] : shownPlaces) {
            EXPECT_EQ(countOf(page, joined({"deleted \u00b7 found in ", label, "</span>"})), count)
                << label;
            onPage += count;
        }
        EXPECT_EQ(countOf(page, "<div class=\"flag\">Recovered</div>"), onPage);
        if (chat->chatID == test::kPictureChatKey) {
            EXPECT_EQ(countOf(page, "Attachment \u2014 not recovered with the message"), 1u);
        }
    }
    EXPECT_GT(recovered, 200u);
}

}  // namespace
}  // namespace vessamo
