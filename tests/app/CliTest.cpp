#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <tuple>

#include "sample/SampleSources.h"
#include "sample/SampleVoiceNote.h"
#include "support/CliRunner.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

TEST(Cli, SamplesFollowTheIosVersionAndBadRequestsFail) {
    test::TempHome home;
    const test::CliRun empty = test::runTool(home.path(), {"list", "--json"});
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_EQ(json::parse(empty.out, nullptr, false), json::array());
    EXPECT_EQ(test::runTool(home.path(), {"list", "--help"}).exitCode, 0);
    const struct {
        const char* ios;
        const char* catalogue;
        const char* absent;
    } cases[] = {{"14.3", "Manifest.db", "Manifest.mbdb"},
                 {"9.3.5", "Manifest.mbdb", "Manifest.db"}};
    for (const auto& c : cases) {
        const std::string backup = home.path() + "/ios" + c.ios;
        ASSERT_TRUE(test::writeSample(home.path(), backup, {"--ios", c.ios}));
        EXPECT_TRUE(fs::exists(backup + "/" + c.catalogue)) << c.ios;
        EXPECT_FALSE(fs::exists(backup + "/" + c.absent)) << c.ios;
    }
    const std::string occupied = home.path() + "/occupied";
    test::writeFile(occupied + "/keep.txt", "mine");
    EXPECT_NE(test::runTool(home.path(), {"sample", occupied}).exitCode, 0);
    EXPECT_EQ(test::readFile(occupied + "/keep.txt"), "mine");
    EXPECT_EQ(std::distance(fs::directory_iterator(occupied), fs::directory_iterator()), 1);
    EXPECT_NE(test::runTool(home.path(), {"sample"}).exitCode, 0);
    EXPECT_NE(test::runTool(home.path(), {"sample", "x", "--layout", "zip"}).exitCode, 0);
}

TEST(CliExport, WritesTheChosenExportsAndFailsLoudly) {
    test::TempHome home;
    const std::string backup = home.path() + "/backup";
    ASSERT_TRUE(test::writeSample(home.path(), backup));
    const std::string out = home.path() + "/out";
    const test::CliRun run = test::runTool(
        home.path(), {"export", backup, "--to", out, "--html", "--calls", "--chats", "1,2"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::is_regular_file(out + "/Call History/WhatsApp Call.txt"));
    size_t pages = 0;
    for (const auto& entry : fs::directory_iterator(out + "/Chats")) {
        pages += entry.path().extension() == ".html" ? 1 : 0;
    }
    EXPECT_EQ(pages, 2u);  // only the two chats asked for
    EXPECT_FALSE(fs::exists(out + "/Contact"));

    EXPECT_TRUE(test::contains(run.out, "Call log                1 file\n")) << run.out;
    EXPECT_TRUE(test::contains(run.out, "(2 conversations chosen)")) << run.out;
    EXPECT_TRUE(test::contains(run.err, "export: 100%"));
}

// Mistakes on the command line are said before any scan starts (the scan
// would show its progress), or, for chat keys only a scan can check,
// before anything is written; each exits with 2.
TEST(CliExport, RefusesDestinationsAndKeysItCannotHonour) {
    test::TempHome home;
    const std::string backup = home.path() + "/backup";
    ASSERT_TRUE(test::writeSample(home.path(), backup));
    test::writeFile(home.path() + "/blocked", "a file, not a folder");
    const struct {
        std::vector<std::string> args;
        const char* said;
    } early[] = {
        {{"--to", home.path() + "/blocked"}, "exists and is not a folder"},
        {{"--to", home.path() + "/blocked/out"}, "is not a folder"},
        {{"--to", backup + "/export"}, "inside the backup folder"},
        {{"--to", home.path() + "/out", "--chats", "1,x"}, "--chats takes"},
        {{"--to", home.path() + "/out", "--chats", "1,,2"}, "--chats takes"},
        {{"--to", home.path() + "/out", "--chats", "99999999999"}, "--chats takes"},
    };
    for (const auto& c : early) {
        std::vector<std::string> args{"export", backup};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const test::CliRun run = test::runTool(home.path(), args);
        EXPECT_EQ(run.exitCode, 2) << c.said;
        EXPECT_TRUE(test::contains(run.err, c.said)) << run.err;
        EXPECT_FALSE(test::contains(run.err, "progress:")) << c.said;
    }
    const test::CliRun unknown = test::runTool(
        home.path(), {"export", backup, "--to", home.path() + "/out", "--chats", "1,99"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(test::contains(unknown.err, "No conversation with the key 99 ")) << unknown.err;
    EXPECT_FALSE(fs::exists(home.path() + "/out"));
    EXPECT_EQ(test::readFile(home.path() + "/blocked"), "a file, not a folder");
}

// The demo's sample backup lives in a temporary user folder of its own;
// the pages must not need it, since it goes when the demo ends.
TEST(CliDemo, LeavesPagesWithRecoveredMessagesAndNoTemporaryFolder) {
    test::TempHome home;
    const test::ScopedTemporaryRoot temporary(home.path() + "/tmp");
    const std::string out = home.path() + "/demo";
    const test::CliRun demo = test::runTool(home.path(), {"demo", "--to", out});
    ASSERT_EQ(demo.exitCode, 0) << demo.err;
    EXPECT_EQ(temporary.entries(), std::vector<std::string>{});
    EXPECT_NE(demo.out.find("Recovered in chats"), std::string::npos);
    const std::string page = test::readFile(out + "/Chats/Anna Schmidt1.html");
    ASSERT_GE(page.size(), 2u);
    EXPECT_EQ(page.substr(0, 2), std::string("\xFF\xFE", 2));  // UTF-16LE with its mark
    EXPECT_TRUE(fs::is_directory(out + "/Media Files"));
    EXPECT_FALSE(fs::is_empty(out + "/Media Files"));
    EXPECT_TRUE(fs::is_regular_file(out + "/Contact/Anna Schmidt.vcf"));
}

TEST(CliDemo, AFailedDemoLeavesNoTemporaryFolderEither) {
    test::TempHome home;
    const test::ScopedTemporaryRoot temporary(home.path() + "/tmp");
    test::writeFile(home.path() + "/blocked", "a file, not a folder");
    test::CliRun demo = test::runTool(home.path(), {"demo", "--to", home.path() + "/blocked"});
    EXPECT_EQ(demo.exitCode, 2);
    EXPECT_TRUE(test::contains(demo.err, "not a folder")) << demo.err;
    EXPECT_EQ(temporary.entries(), std::vector<std::string>{});
}

TEST(CliConvert, VoiceNotesBecomeWavFilesBesideThem) {
    test::TempHome home;
    if (std::system("command -v opusdec >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "opusdec is not installed";
    }
    const std::string note = home.path() + "/voice note 'one'.opus";
    test::writeFile(note, sample::sampleVoiceNote());
    const test::CliRun run = test::runTool(home.path(), {"convert", note});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string wav = test::readFile(home.path() + "/voice note 'one'.wav");
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(wav.substr(8, 4), "WAVE");
    EXPECT_NE(test::runTool(home.path(), {"convert", home.path() + "/missing.opus"}).exitCode, 0);
}

// What a first-time user meets: the version, numbers that are numbers, and
// commands that only read leaving the user folder as they found it.
TEST(Cli, TellsItsVersionRefusesBadNumbersAndReadsWithoutWriting) {
    test::TempHome home;
    const test::CliRun version = test::runTool(home.path(), {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("vessamo-cli \\d+\\.\\d+\\.\\d+\n")))
        << version.out;
    for (const char* bad : {"-5", "x", "99999999999999999999"}) {
        const test::CliRun run =
            test::runTool(home.path(), {"sample", home.path() + "/s", "--media", bad});
        EXPECT_NE(run.exitCode, 0) << bad;
        EXPECT_TRUE(test::contains(run.err, "--media")) << run.err;
        EXPECT_FALSE(fs::exists(home.path() + "/s")) << bad;
    }

    const std::string backup = home.path() + "/backup";
    ASSERT_TRUE(test::writeSample(home.path(), backup));
    const auto before = test::namesIn(home.path(), true);
    EXPECT_EQ(test::runTool(home.path(), {"list"}).exitCode, 0);
    EXPECT_EQ(test::runTool(home.path(), {"timeline", "list"}).exitCode, 0);
    const test::CliRun scan = test::runTool(home.path(), {"scan", backup, "--deleted"});
    EXPECT_EQ(scan.exitCode, 0);
    EXPECT_EQ(test::namesIn(home.path(), true), before);
    EXPECT_FALSE(fs::exists(home.path() + "/Library"));
    EXPECT_FALSE(fs::exists(home.path() + "/.config"));

    // The percentage only ever grows, to 100 % at the end.
    int last = -1;
    static const std::regex line("progress: (\\d+)%");
    for (auto it = std::sregex_iterator(scan.err.begin(), scan.err.end(), line);
         it != std::sregex_iterator(); ++it) {
        const int percent = std::stoi((*it)[1]);
        EXPECT_GT(percent, last) << scan.err;
        last = percent;
    }
    EXPECT_EQ(last, 100);
    for (const char* desktop : {"Preferences", "product menu"}) {
        EXPECT_FALSE(test::contains(scan.out + scan.err, desktop));
    }
    EXPECT_FALSE(test::contains(scan.err, "--deleted")) << scan.err;  // it was given
    const test::CliRun live = test::runTool(home.path(), {"scan", backup});
    EXPECT_TRUE(test::contains(live.err, "scan with --deleted to recover them")) << live.err;
}

TEST(CliConvert, RefusesWhatIsNoFileAndSaysWhyTheDecoderFailed) {
    test::TempHome home;
    const std::string tools = home.path() + "/tools";
    test::writeFile(tools + "/opusdec",
                    "#!/bin/sh\necho \"Error opening output file $2: Read-only file system\" >&2\n"
                    "exit 1\n");
    ::chmod((tools + "/opusdec").c_str(), 0755);
    const test::ScopedPath path(tools);
    const std::string note = home.path() + "/note.opus";
    test::writeFile(note, sample::sampleVoiceNote());
    const test::CliRun failed = test::runTool(home.path(), {"convert", note});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(test::contains(failed.err, "Error opening output file")) << failed.err;

    const std::string fifo = home.path() + "/pipe.opus";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const test::CliRun refused = test::runTool(home.path(), {"convert", fifo});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(test::contains(refused.err, "not a regular file")) << refused.err;
}

// The chats a person sees: the starred list is a view, not a conversation.
std::set<int> realChats(const json& scan) {
    std::set<int> keys;
    for (const json& chat : scan["conversations"]) {
        if (!chat["isStarredList"].get<bool>()) {
            keys.insert(chat["id"].get<int>());
        }
    }
    return keys;
}

json listed(const std::string& home) {
    return json::parse(test::runTool(home, {"list", "--json"}).out, nullptr, false);
}

TEST(CliOtherSources, AnICloudDriveAccountIsListedScannedAndExportedWithItsMedia) {
    test::TempHome home;
    ASSERT_TRUE(test::writeSample(home.path(), home.path(), {"--kind", "icloud"}));
    const json sources = listed(home.path());
    ASSERT_EQ(sources.size(), 1u) << sources;
    EXPECT_EQ(sources[0]["strBackupType"], "iCloud Backup");
    const std::string backup = sources[0]["backUpFilePath"];
    const auto before = test::treeDigest(backup);

    const json scan = test::scanJson(home.path(), {backup});
    EXPECT_EQ(scan["source"]["kind"], "icloud");
    EXPECT_FALSE(realChats(scan).empty());
    EXPECT_EQ(realChats(scan).size(), scan["conversations"].size());  // no starred list here
    EXPECT_FALSE(scan["messages"].empty());
    EXPECT_EQ(scan["messages"][0]["source"], "icloud");
    EXPECT_FALSE(scan["media"].empty());

    const std::string out = home.path() + "/out";
    const test::CliRun exported =
        test::runTool(home.path(), {"export", backup, "--to", out, "--html", "--kind", "icloud"});
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_FALSE(fs::is_empty(out + "/Media Files"));  // found in the unpacked archives
    EXPECT_EQ(test::treeDigest(backup), before);
}

// A backup is listed with its record's names, and a Timeline made of its
// scan is listed after it and holds the same chats.
TEST(CliOtherSources, ABackupIsListedAndKeptAsATimelineOfTheSameChats) {
    test::TempHome home;
    const std::string backup = home.backupRoot() + "/x";
    ASSERT_TRUE(test::writeSample(home.path(), backup, {"--ios", "14.3", "--name", "Anna iPhone"}));
    json sources = listed(home.path());
    ASSERT_EQ(sources.size(), 1u) << sources;
    test::expectFields(sources[0], {{"strBackupType", "iTunes Backup"},
                                    {"strDeviceName", "Anna iPhone"},
                                    {"strIOSVersion", "14.3"},
                                    {"backUpFilePath", backup},
                                    {"beEncrypted", false},
                                    {"deviceIndex", -1},
                                    {"strDeviceType", nullptr}});
    EXPECT_EQ(sources[0]["strDeviceBackUpTime"].get<std::string>().size(),
              16u);  // YYYY-MM-DD hh:mm
    for (const char* key : {"strDeviceSize", "strDeviceSerial", "itunesVersion"}) {
        EXPECT_TRUE(sources[0][key].is_string()) << key;
    }
    EXPECT_TRUE(test::contains(test::runTool(home.path(), {"list"}).out, "Anna iPhone"));

    const test::CliRun created = test::runTool(home.path(), {"timeline", "create", backup});
    ASSERT_EQ(created.exitCode, 0) << created.err;
    EXPECT_TRUE(test::contains(created.out, "Made a Timeline backup of ")) << created.out;
    EXPECT_FALSE(test::contains(created.err, "has been created to complete")) << created.err;
    std::vector<std::string> made;
    for (const auto& entry :
         fs::directory_iterator(home.path() + "/Library/Application Support/Vessamo")) {
        if (entry.is_directory()) {
            made.push_back(entry.path().string());
        }
    }
    ASSERT_EQ(made.size(), 1u);
    EXPECT_TRUE(test::contains(test::runTool(home.path(), {"timeline", "list"}).out,
                               fs::path(made[0]).filename().string()));
    sources = listed(home.path());
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(sources[1]["strBackupType"], "WhatsAppTimeLine");

    const json source = test::scanJson(home.path(), {backup});
    const json timeline = test::scanJson(home.path(), {made[0]});
    EXPECT_EQ(realChats(timeline), realChats(source));
    EXPECT_EQ(timeline["messages"].size(), source["messages"].size());
    EXPECT_FALSE(timeline["media"].empty());
}

TEST(CliOtherSources, ATimelineFolderIsToldFromItsFilesOrByKind) {
    test::TempHome home;
    const std::string folder = home.path() + "/timeline";
    ASSERT_TRUE(test::writeSample(home.path(), folder, {"--kind", "timeline"}));
    const json detected = test::scanJson(home.path(), {folder});
    const json named = test::scanJson(home.path(), {folder, "--kind", "timeline"});
    for (const char* list : {"conversations", "calls", "favorites"}) {
        EXPECT_FALSE(detected[list].empty()) << list;
    }
    EXPECT_EQ(detected["messages"].size(), named["messages"].size());
    test::expectFields(detected["source"],
                       {{"kind", "timeline"}, {"type", "WhatsAppTimeLine"}, {"name", "timeline"}});
    EXPECT_NE(test::runTool(home.path(), {"scan", folder, "--kind", "floppy"}).exitCode, 0);

    // Only a device backup becomes a Timeline; the refusal says so in the
    // command line's words, not the desktop's.
    const test::CliRun refused = test::runTool(home.path(), {"timeline", "create", folder});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(test::contains(refused.err, "No Timeline backup was made: " + folder + " is not"))
        << refused.err;
    EXPECT_FALSE(test::contains(refused.err, "Please")) << refused.err;
}

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
    // Nothing but damage: no message could be read, so the status is 3.
    const test::CliRun scanned = test::runTool(home.path(), {"scan", junk, "--json"});
    EXPECT_EQ(scanned.exitCode, 3);
    const json result = json::parse(scanned.out, nullptr, false);
    test::expectFields(result, {{"media", json::array()}, {"source", {{"folder", junk}}}});
    std::set<std::string> codes;
    for (const json& problem : result["problems"]) {
        codes.insert(problem["code"].get<std::string>());
        EXPECT_FALSE(problem["message"].get<std::string>().empty());
    }
    EXPECT_EQ(codes, (std::set<std::string>{"corrupt", "notFound"}));
    const test::CliRun summary = test::runTool(home.path(), {"scan", junk});
    EXPECT_EQ(summary.exitCode, 3);
    for (const std::string* text : {&summary.out, &summary.err}) {
        EXPECT_TRUE(test::contains(*text, "Manifest.db is damaged: ") &&
                    test::contains(*text, "Not found: "))
            << *text;
    }
}

}  // namespace
}  // namespace vessamo
