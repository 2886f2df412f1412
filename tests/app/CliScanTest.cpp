#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <tuple>

#include "sample/SampleSources.h"
#include "support/CliRunner.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// A zone half an hour off the hour, so a wrong offset cannot pass unseen.
constexpr const char* kZone = "XST-5:30";

// Keys are camelCase words, and none of the record property names the
// output used to carry comes back.
void expectCleanKeys(const json& value) {
    static const std::regex camel("[a-z][a-z0-9]*([A-Z][a-z0-9]+)*");
    static const std::set<std::string> oldNames = {
        "contactStatu", "contactAdress",  "hasload",        "bSelected",       "bDeleted",
        "chatID",       "messageContent", "backUpFilePath", "whatsAppNodeName"};
    if (!value.is_structured()) {
        return;
    }
    for (const auto& [key, member] : value.items()) {
        EXPECT_TRUE(!value.is_object() || (std::regex_match(key, camel) && !oldNames.count(key)))
            << key;
        expectCleanKeys(member);
    }
}

// "date" is ISO 8601 with the zone's offset and names the minute
// "dateText" shows. True when the record has a date.
bool datesAgree(const json& record) {
    static const std::regex iso(R"((\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):\d\d\+05:30)");
    std::smatch m;
    const std::string date = record["date"].is_string() ? record["date"].get<std::string>() : "";
    if (!std::regex_match(date, m, iso)) {
        EXPECT_TRUE(record["date"].is_null() && record["dateText"].get<std::string>().size() < 2)
            << record;
        return false;
    }
    EXPECT_EQ(record["dateText"], m.format("$2-$3-$1 $4:$5"));
    return true;
}

TEST(CliScan, JsonFollowsSchemaOneAndFlagsRecoveredMessages) {
    test::TempHome home;
    test::ScopedTimeZone zone(kZone);
    const std::string backup = home.path() + "/backup";
    ASSERT_TRUE(test::writeSample(home.path(), backup));
    const auto before = test::treeDigest(backup);
    const test::CliRun scan = test::runTool(home.path(), {"scan", backup, "--json"});
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    EXPECT_TRUE(test::contains(scan.err, "progress: 100%"));  // plain lines: stderr is no terminal
    const json live = json::parse(scan.out, nullptr, false);
    test::expectFields(
        live, {{"schema", 1},
               {"stopped", false},
               {"source",
                {{"kind", "itunes"},
                 {"type", "iTunes Backup"},
                 {"name", "Vessamo Sample iPhone"},
                 {"folder", backup}}},
               {"account", {{"name", "Sample Owner"}, {"number", "491609876543@s.whatsapp.net"}}},
               {"recoveredConversations", json::array()}});
    for (const char* list :
         {"conversations", "messages", "calls", "contacts", "favorites", "media", "attachments"}) {
        EXPECT_FALSE(live[list].empty()) << list;
    }
    // Apart from the starred list, the conversations hold every message once.
    size_t counted = 0;
    for (const json& chat : live["conversations"]) {
        counted += chat["isStarredList"].get<bool>() ? 0 : chat["messageCount"].get<size_t>();
    }
    EXPECT_EQ(counted, live["messages"].size());
    // Names come from the phone's address book; sent pictures resolve to files.
    size_t named = 0, withFile = 0;
    for (const json& m : live["messages"]) {
        named += m["name"] == "Anna Schmidt" ? 1 : 0;
        EXPECT_TRUE(datesAgree(m));
        test::expectFields(
            m,
            {{"isFromMe", m["direction"] == "Send"}, {"source", "backup"}, {"isRecovered", false}});
        if (m["file"].is_string()) {
            ++withFile;
            EXPECT_TRUE(fs::is_regular_file(m["file"].get<std::string>()));
        }
    }
    EXPECT_GT(named, 0u);
    EXPECT_GT(withFile, 0u);
    for (const json& record : live["calls"]) {
        EXPECT_TRUE(datesAgree(record));
    }
    for (const json& file : live["media"]) {
        EXPECT_TRUE(fs::is_regular_file(file["file"].get<std::string>()));
        EXPECT_TRUE(test::contains(file["domain"].get<std::string>(), "whatsapp"));
    }

    // The sample's user deleted some messages: recovery finds and flags them
    // and never passes a live message off as recovered.
    const json all = test::scanJson(home.path(), {backup, "--deleted"});
    const auto key = [](const json& m) {
        return std::tuple(m["chatId"].get<int>(), m["text"].get<std::string>(), m["date"].dump());
    };
    std::set<decltype(key(live))> liveKeys;
    for (const json& m : live["messages"]) {
        liveKeys.insert(key(m));
    }
    size_t recovered = 0;
    bool sawDeletedText = false;
    for (const json& m : all["messages"]) {
        if (m["isRecovered"].get<bool>()) {
            ++recovered;
            EXPECT_EQ(liveKeys.count(key(m)), 0u);
            // Message 9 of the sample ("Thanks, that helped a lot!") was deleted.
            sawDeletedText |= m["text"] == "Thanks, that helped a lot!";
        }
    }
    EXPECT_TRUE(sawDeletedText);
    EXPECT_EQ(all["messages"].size() - recovered, live["messages"].size());
    for (const json& chat : all["recoveredConversations"]) {
        test::expectFields(chat,
                           {{"isRecoveredOnly", true}, {"messageCount", chat["messages"].size()}});
        for (const json& m : chat["messages"]) {
            EXPECT_TRUE(m["isRecovered"].get<bool>());
        }
    }
    expectCleanKeys(live);
    expectCleanKeys(all);
    EXPECT_EQ(test::treeDigest(backup), before);
}

// Message texts keep every control byte; the readers turn texts that are not
// UTF-8 into " ", but paths come from the file system as they are.
TEST(CliScan, JsonEscapesControlBytesAndReplacesBrokenUtf8) {
    test::TempHome home;
    test::ScopedTimeZone zone(kZone);
    sample::WhatsAppSampleOptions options;
    options.messages = 3;
    options.mediaEvery = 0;
    sample::WhatsAppSample world = sample::makeWhatsAppSample(options);
    sample::SampleMessage& odd = world.database.messages[0];
    odd.text = "tab\tquote\"back\\ bell\x07\x01\x1f line\r\n €😀";
    odd.date = 664000000;  // 2022-01-16 04:26:40 UTC
    odd.wholeSecondDate = true;
    sample::SampleBackupBuilder builder;
    sample::addWhatsApp(builder, world, false);
    const std::string folder =
        home.path() + "/bad\xFF overlong\xC0\xAF surrogate\xED\xA0\x80 cut\xE2\x82";
    ASSERT_TRUE(builder.write(folder));

    const test::CliRun scan = test::runTool(home.path(), {"scan", folder, "--json"});
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    for (const char* escape : {"\\t", "\\\"", "\\\\", "\\u0007", "\\u0001", "\\u001f", "\\r\\n"}) {
        EXPECT_TRUE(test::contains(scan.out, escape)) << escape;
    }
    const json result = json::parse(scan.out, nullptr, false);  // rejects invalid UTF-8
    ASSERT_TRUE(result.is_object()) << scan.out.substr(0, 2000);
    EXPECT_EQ(
        result["source"]["folder"],
        home.path() + "/bad\uFFFD overlong\uFFFD\uFFFD surrogate\uFFFD\uFFFD\uFFFD cut\uFFFD");
    const json* found = nullptr;
    for (const json& message : result["messages"]) {
        found = message["text"].get<std::string>().rfind("tab", 0) == 0 ? &message : found;
    }
    ASSERT_NE(found, nullptr) << scan.out.substr(0, 2000);
    test::expectFields(*found, {{"text", odd.text.value()},
                                {"date", "2022-01-16T09:56:40+05:30"},
                                {"dateText", "01-16-2022 09:56"}});
}

TEST(CliScan, CtrlCStopsAndStillReportsWhatWasFound) {
    test::TempHome home;
    const std::string backup = home.path() + "/big";
    ASSERT_TRUE(test::writeSample(home.path(), backup, {"--media", "20000"}));
    const test::CliRun stopped = test::runTool(home.path(), {"scan", backup}, "progress: 1%");
    EXPECT_EQ(stopped.exitCode, 130) << stopped.err;
    EXPECT_TRUE(test::contains(stopped.out, "Scan stopped; partial results")) << stopped.out;
    const auto media = stopped.out.find("Media files");
    ASSERT_NE(media, std::string::npos);
    EXPECT_LT(std::stol(stopped.out.substr(stopped.out.find_first_of("0123456789", media))), 20000);
}

// Absent and damaged files are told apart: as problem codes in the JSON, and
// as lines on stderr and in the summary.
TEST(CliScan, ProblemsSayWhatIsAbsentAndWhatIsDamaged) {
    test::TempHome home;
    const test::CliRun missing = test::runTool(home.path(), {"scan", home.path() + "/nothing"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(test::contains(missing.err, "Not a folder"));

    const std::string junk = home.path() + "/junk";
    test::writeFile(junk + "/Manifest.db", std::string(10000, '\x5A'));
    test::writeFile(junk + "/Manifest.mbdb", "mbdb\x05\x00\xFF");
    test::writeFile(junk + "/Info.plist", "<plist><dict><key>");
    const json result = test::scanJson(home.path(), {junk});
    test::expectFields(result, {{"media", json::array()}, {"source", {{"folder", junk}}}});
    std::set<std::string> codes;
    for (const json& problem : result["problems"]) {
        codes.insert(problem["code"].get<std::string>());
        EXPECT_FALSE(problem["message"].get<std::string>().empty());
    }
    EXPECT_EQ(codes, (std::set<std::string>{"corrupt", "notFound"}));
    const test::CliRun summary = test::runTool(home.path(), {"scan", junk});
    EXPECT_EQ(summary.exitCode, 0);
    for (const std::string* text : {&summary.out, &summary.err}) {
        EXPECT_TRUE(test::contains(*text, "Damaged: ") && test::contains(*text, "Not found: "))
            << *text;
    }
}

}  // namespace
}  // namespace vessamo
