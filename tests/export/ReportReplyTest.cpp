#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "common/SqliteDatabase.h"
#include "sample/SampleChatStorage.h"
#include "support/CliRunner.h"
#include "support/TestSupport.h"
#include "whatsapp/ReplyMetadata.h"
#include "whatsapp/WhatsAppTestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using sample::SampleChat;
using sample::SampleChatDatabase;
using sample::SampleMediaItem;
using sample::SampleMessage;

const std::string kAnna = "4917012345678@s.whatsapp.net";
const std::string kBen = "4917098765432@s.whatsapp.net";
constexpr int64_t kChatSize = 2100;  // more than one page of 2000

SampleMessage textRow(int64_t pk, int64_t chat, const std::string& jid, std::string text) {
    SampleMessage m;
    m.pk = pk;
    m.chat = chat;
    m.date = 650000000.0 + static_cast<double>(pk) * 60;
    m.fromJid = jid;
    m.pushName = chat == 1 ? "Anna" : "Ben";
    m.text = std::move(text);
    m.stanzaId = "3A" + std::to_string(1000000 + pk);
    return m;
}

SampleMediaItem metadata(std::string bytes) {
    SampleMediaItem item;
    item.metadata = std::move(bytes);
    return item;
}

// Anna's chat runs over two pages; near its end she answers her first
// message, Ben answers it from another chat, and one reply's metadata is
// cut off mid-field.
SampleChatDatabase replyDatabase() {
    SampleChatDatabase db;
    db.chats = {SampleChat{1, kAnna, "Anna", 0}, SampleChat{2, kBen, "Ben", 0}};
    const std::string quotedText = "Shall we meet at the <old> harbour on Sunday, " +
                                   std::string(150, 'x') + " \u00e4\u00f6\u00fc";
    db.messages.push_back(textRow(1, 1, kAnna, quotedText));
    for (int64_t pk = 2; pk < kChatSize; ++pk) {
        db.messages.push_back(textRow(pk, 1, kAnna, "filler " + std::to_string(pk)));
    }
    const std::string quotedId = *db.messages[0].stanzaId;
    SampleMessage reply = textRow(kChatSize, 1, kAnna, "Yes, ten o'clock");
    reply.media = metadata(sample::replyMetadata(quotedId, kAnna, quotedText));
    db.messages.push_back(reply);

    SampleMessage elsewhere = textRow(kChatSize + 1, 2, kBen, "I heard about Sunday");
    elsewhere.media = metadata(sample::replyMetadata(quotedId, kAnna, quotedText));
    db.messages.push_back(elsewhere);

    SampleMessage damaged = textRow(kChatSize + 2, 2, kBen, "a reply with damaged metadata");
    const std::string whole = sample::replyMetadata(quotedId, kAnna, quotedText);
    damaged.media = metadata(whole.substr(0, whole.size() - 7));
    db.messages.push_back(damaged);
    return db;
}

class ReportReplies : public ::testing::Test {
protected:
    void SetUp() override {
        fixture.addChatDatabase(replyDatabase());
        std::string error;
        ASSERT_TRUE(fixture.builder.write(fixture.folder, &error)) << error;
        const test::CliRun run = test::runTool(
            fixture.home.path(), {"export", fixture.folder, "--to", out, "--report", "--utc"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }

    // The conversation's JSON and page names, by the text of one message.
    [[nodiscard]] json chatWith(const std::string& text) const {
        for (const fs::directory_entry& entry : fs::directory_iterator(out + "/Report/Chats")) {
            if (entry.path().extension() == ".json") {
                json chat = json::parse(test::readFile(entry.path()));
                for (const json& message : chat["messages"]) {
                    if (message.value("text", "") == text) {
                        return chat;
                    }
                }
            }
        }
        ADD_FAILURE() << "no conversation holds " << text;
        return json();
    }
    [[nodiscard]] std::string page(const json& chat, size_t index) const {
        return test::readFile(out + "/Report/Chats/" +
                              chat["chat"]["pages"][index].get<std::string>());
    }

    test::WhatsAppBackupFixture fixture;
    std::string out = fixture.home.path() + "/out";
};

// The reply shows who it answers and how that began, and leads to the
// quoted message on the chat's first page.
TEST_F(ReportReplies, AReplyQuotesAndLinksToTheMessageItAnswers) {
    const json anna = chatWith("Yes, ten o'clock");
    ASSERT_EQ(anna["chat"]["pages"].size(), 2u);
    const json& first = anna["messages"][0];
    const json& reply = anna["messages"][kChatSize - 1];
    ASSERT_EQ(reply["text"], "Yes, ten o'clock");
    EXPECT_EQ(reply["quotedStanzaId"], "3A1000001");
    EXPECT_EQ(reply["quotedN"], 0);
    EXPECT_FALSE(first.contains("quotedStanzaId"));

    const std::string firstPage = anna["chat"]["pages"][0].get<std::string>();
    const std::string html = page(anna, 1);
    const size_t quote = html.find("<a class=\"quote\" href=\"");
    ASSERT_NE(quote, std::string::npos);
    EXPECT_LT(quote, html.find("Yes, ten o&#39;clock"));
    const std::string block = html.substr(quote, html.find("</a>", quote) - quote);
    EXPECT_NE(block.find("href=\"" + firstPage + "#m0\""), std::string::npos) << block;
    EXPECT_NE(block.find(">Anna</span>"), std::string::npos) << block;
    // The start of the text, escaped and cut short with an ellipsis.
    EXPECT_NE(block.find("Shall we meet at the &lt;old&gt; harbour"), std::string::npos);
    EXPECT_NE(block.find("x\u2026</span>"), std::string::npos) << block;
    EXPECT_EQ(block.find("\u00e4"), std::string::npos);
    EXPECT_NE(page(anna, 0).find("id=\"m0\""), std::string::npos);
}

// A quote from another chat is named but not linked; damaged metadata
// gives no quote and leaves the message as it is.
TEST_F(ReportReplies, OtherChatsQuotesAndDamagedMetadata) {
    const json ben = chatWith("I heard about Sunday");
    ASSERT_EQ(ben["messages"].size(), 2u);
    EXPECT_EQ(ben["messages"][0]["quotedStanzaId"], "3A1000001");
    EXPECT_FALSE(ben["messages"][0].contains("quotedN"));
    EXPECT_EQ(ben["messages"][1]["text"], "a reply with damaged metadata");
    EXPECT_FALSE(ben["messages"][1].contains("quotedStanzaId"));
    const std::string html = page(ben, 0);
    EXPECT_NE(html.find("Reply to a message not in this chat"), std::string::npos);
    EXPECT_EQ(html.find("class=\"quote\""), std::string::npos);

    const json scan = test::scanJson(fixture.home.path(), {fixture.folder});
    size_t quoting = 0;
    for (const json& message : scan["messages"]) {
        quoting += message["quotedStanzaId"] == "3A1000001" ? 1 : 0;
    }
    EXPECT_EQ(quoting, 2u);
}

// Every cut of a reply's metadata, and bytes that are no protocol buffer,
// read as no quote or as the whole id: never past the blob, never a crash.
TEST(ReplyMetadata, CutOrForeignBlobsGiveNoQuote) {
    const std::string whole = sample::replyMetadata("3A26649A0A496377CB01", kAnna, "hello");
    EXPECT_EQ(quotedStanzaId(whole), "3A26649A0A496377CB01");
    for (size_t size = 0; size < whole.size(); ++size) {
        const std::string cut = whole.substr(0, size);
        const std::optional<std::string_view> id = quotedStanzaId(cut);
        EXPECT_TRUE(!id || *id == "3A26649A0A496377CB01") << size;
    }
    EXPECT_EQ(quotedStanzaId("\x2a\xff\xff\xff\xff\xff\xff\xff\xff\xff\x01"), std::nullopt);
    EXPECT_EQ(quotedStanzaId(std::string("\x2a\x03\x01\x02\x03", 5)), std::nullopt);
    EXPECT_EQ(quotedStanzaId("\x08\x96\x01"), std::nullopt);  // a number, no quote
}

// A phone's own reply: message 16 of the iOS 15 database answers message 15.
TEST(ReplyMetadata, ARealReplyNamesTheMessageItAnswers) {
    const test::TempHome home;
    const std::string copy =
        test::copyOfRealData("josh_ios15/ChatStorage.sqlite", home.path() + "/real");
    SqliteDatabase db;
    ASSERT_EQ(db.open(copy, SqliteDatabase::Mode::ReadOnly), SQLITE_OK);
    const auto column = [&](const char* sql, bool blob) {
        SqliteStatement query;
        EXPECT_EQ(query.prepare(db, sql), SQLITE_OK);
        EXPECT_EQ(query.step(), SQLITE_ROW);
        return blob ? query.columnBlob(0) : query.columnText(0).value_or("");
    };
    const std::string quoted = column("select ZSTANZAID from ZWAMESSAGE where Z_PK=15", false);
    const std::string metadata =
        column("select ZMETADATA from ZWAMEDIAITEM where ZMESSAGE=16", true);
    ASSERT_FALSE(quoted.empty());
    EXPECT_EQ(quotedStanzaId(metadata), quoted);
}

}  // namespace
}  // namespace vessamo
