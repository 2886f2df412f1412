#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "support/CliRunner.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

using json = nlohmann::json;

// What a person reads in the scan's JSON: every message under its author.
TEST(CliAuthors, JsonNamesTheOwnerForSentAndTheSenderForReceivedMessages) {
    test::TempHome home;
    const std::string backup = home.path() + "/backup";
    ASSERT_TRUE(test::writeSample(home.path(), backup));
    const json scan = test::scanJson(home.path(), {backup});
    ASSERT_TRUE(scan.is_object());

    std::map<int, std::pair<std::string, bool>> chats;  // id: name, group
    for (const json& chat : scan["conversations"]) {
        chats[chat["id"].get<int>()] = {chat["name"].get<std::string>(),
                                        chat["isGroup"].get<bool>()};
    }
    size_t fromDavid = 0;
    size_t inGroups = 0;
    for (const json& m : scan["messages"]) {
        const auto& [chat, group] = chats[m["chatId"].get<int>()];
        if (m["direction"] == "Send") {
            EXPECT_EQ(m["name"], "Sample Owner");
            EXPECT_EQ(m["number"], "491609876543");
            continue;
        }
        EXPECT_NE(m["number"], "491609876543") << m;
        EXPECT_EQ(m["name"].get<std::string>().find('@'), std::string::npos) << m;
        if (chat == "David García") {
            EXPECT_EQ(m["name"], "David García");
            ++fromDavid;
        }
        inGroups += group ? 1 : 0;
    }
    EXPECT_GT(fromDavid, 0u);
    EXPECT_GT(inGroups, 0u);
}

}  // namespace
}  // namespace vessamo
