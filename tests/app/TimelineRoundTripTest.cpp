#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/Scanner.h"
#include "app/TimelineLibrary.h"
#include "common/UserPaths.h"
#include "export/HtmlChatExport.h"
#include "export/MediaExports.h"
#include "export/TextExports.h"
#include "results/DisplayText.h"
#include "sample/SampleSources.h"
#include "support/CliRunner.h"
#include "support/TestSupport.h"
#include "whatsapp/TimelineReaders.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
constexpr std::time_t kWhen = 1642252800;

// What a person can tell one message by in the views and the exports.
std::string describe(const KTWhatsAppNode& message) {
    std::ostringstream out;
    out << message.chatID << '|' << message.messageName << '|' << message.messageNumb << '|'
        << message.messageContent << '|' << message.messageAttchpath << '|'
        << (message.messageDate ? message.messageDate->seconds : -1) << '|'
        << static_cast<int>(message.messageType) << '|' << message.attchType << '|'
        << message.bDeleted << '|' << message.isHaveAttch;
    return out.str();
}

std::vector<std::string> describeAll(const std::vector<KTWhatsAppNode>& messages) {
    std::vector<std::string> all;
    for (const KTWhatsAppNode& message : messages) {
        all.push_back(describe(message));
    }
    return all;
}

std::vector<const KTWhatsAppCovNode*> everyChat(const ScanResult& result) {
    std::vector<const KTWhatsAppCovNode*> chats;
    for (const KTWhatsAppCovNode& chat : result.WhatsAppConvChatArray) {
        chats.push_back(&chat);
    }
    for (const KTWhatsAppCovNode& chat : result.whatsAppArray) {
        chats.push_back(&chat);
    }
    return chats;
}

ExportReport exportEverything(const ScanResult& result, const std::string& to) {
    const std::vector<const KTWhatsAppCovNode*> chats = everyChat(result);
    ExportReport report = exportChatsAsHtml(result, chats, to);
    report.merge(ExportChatAsTextthreader(result, chats, to));
    report.merge(ExportSelectedChatContactsthreader(result, chats, to));
    report.merge(ExportChatFavContactsthreader(result, to));
    report.merge(ExportChatContactsthreader(result, to));
    report.merge(ExportWhatsAppChatCallthreader(result, to));
    return report;
}

class TimelineRoundTripTest : public ::testing::TestWithParam<sample::CatalogueLayout> {
protected:
    ScanResultPtr scan(const std::string& folder, SourceKind kind) {
        ScanReporter quiet;
        ScanOptions options;
        options.recoverDeleted = true;
        return Scanner::scan(folder, kind, options, {}, quiet);
    }

    test::TempHome home_;
    test::ScopedTimeZone utc_{"UTC"};
    test::RecordingUiPort ui_;
};

// A Timeline made from a scan reads to the records of the backup it was made
// from, recovered messages included, and exports to the same files.
TEST_P(TimelineRoundTripTest, ATimelineReadsAndExportsLikeItsBackup) {
    sample::WhatsAppSampleOptions world;
    world.deleteEvery = 7;
    const std::string backup = home_.backupRoot() + "/device";
    ASSERT_TRUE(sample::whatsAppBackup(GetParam(), {}, world).write(backup));
    const ScanResultPtr source = scan(backup, SourceKind::Backup);
    // Recovered messages of live chats join them; the others make chats of their own.
    const size_t recovered =
        source->recoveredMessages.size() +
        std::count_if(source->WhatsAppChatArray.begin(), source->WhatsAppChatArray.end(),
                      [](const KTWhatsAppNode& message) { return message.bDeleted; });
    ASSERT_GT(recovered, 0u);
    ASSERT_FALSE(source->WhatsAppCallArray.empty());
    ASSERT_FALSE(source->WhatsAppResourceArray.empty());

    const std::optional<TimelineCopyResult> made = NewWhatsAppTimeLineAction(*source, ui_, kWhen);
    ASSERT_TRUE(made && made->succeeded()) << (made ? made->failures.front() : "nothing made");
    ASSERT_TRUE(keptBackupOf(made->folder));
    // The names a Timeline's own readers and the Timeline view look for.
    for (const char* name : {"ChatStorage.sqlite", "net.whatsapp.WhatsApp.plist",
                             "31bb7ba8914766d4ba40d6dfb6113c8b614be442"}) {
        EXPECT_TRUE(fs::is_regular_file(made->folder + "/" + name)) << name;
    }
    EXPECT_EQ(Scanner::kindOfFolder(made->folder), SourceKind::Timeline);
    EXPECT_EQ(getTimelineAccount(made->folder).nameLabel, "Name: Sample Owner");

    const ScanResultPtr timeline = scan(made->folder, SourceKind::Timeline);
    EXPECT_EQ(timeline->kind, SourceKind::Timeline);
    EXPECT_EQ(timeline->fullTimelinPath, made->folder);
    EXPECT_EQ(timeline->WhatsAppConvChatArray.size(), source->WhatsAppConvChatArray.size());
    EXPECT_EQ(describeAll(timeline->WhatsAppChatArray), describeAll(source->WhatsAppChatArray));
    EXPECT_EQ(describeAll(timeline->recoveredMessages), describeAll(source->recoveredMessages));
    EXPECT_EQ(timeline->whatsAppArray.size(), source->whatsAppArray.size());
    EXPECT_EQ(timeline->WhatsAppCallArray.size(), source->WhatsAppCallArray.size());
    EXPECT_EQ(timeline->WhatsAppContactArray.size(), source->WhatsAppContactArray.size());
    EXPECT_EQ(timeline->WhatsAppFacContactArray.size(), source->WhatsAppFacContactArray.size());
    if (GetParam() == sample::CatalogueLayout::ManifestDb) {
        EXPECT_FALSE(timeline->WhatsAppFacContactArray.empty());  // the newer layout names some
    }
    EXPECT_EQ(timeline->WhatsAppResourceArray.size(), source->WhatsAppResourceArray.size());
    EXPECT_EQ(timeline->WhatsAppMediaArray.size(), source->WhatsAppMediaArray.size());
    for (const KTWhatsAppNode& message : timeline->WhatsAppChatArray) {
        EXPECT_TRUE(message.bTimelineNode);
    }

    const std::string fromBackup = home_.path() + "/export-backup";
    const std::string fromTimeline = home_.path() + "/export-timeline";
    const ExportReport a = exportEverything(*source, fromBackup);
    const ExportReport b = exportEverything(*timeline, fromTimeline);
    EXPECT_TRUE(a.failures.empty()) << a.failures.front();
    EXPECT_TRUE(b.failures.empty()) << b.failures.front();
    EXPECT_TRUE(b.missingMedia.empty()) << *b.missingMedia.begin();
    EXPECT_GT(b.filesWritten, 0u);
    // Byte for byte the same pages, texts, cards and media copies.
    EXPECT_EQ(test::treeDigest(fromTimeline), test::treeDigest(fromBackup));
    EXPECT_FALSE(test::namesIn(fromTimeline + "/Media Files").empty());
}

INSTANTIATE_TEST_SUITE_P(Layouts, TimelineRoundTripTest,
                         ::testing::Values(sample::CatalogueLayout::ManifestDb,
                                           sample::CatalogueLayout::Mbdb));

// The lines of a scan summary that count records: all but the folder line.
std::vector<std::string> countLines(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    std::string line;
    std::getline(in, line);  // "Scanned <folder>"
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

// The command line's route: `timeline create`, then the Timeline scans to
// the counts of its backup and exports without a failure.
TEST(TimelineRoundTripCli, ACreatedTimelineScansAndExportsLikeItsBackup) {
    test::TempHome home;
    const std::string backup = home.backupRoot() + "/device";
    ASSERT_TRUE(test::writeSample(home.path(), backup));
    const test::CliRun created = test::runTool(home.path(), {"timeline", "create", backup});
    ASSERT_EQ(created.exitCode, 0) << created.err;
    std::vector<std::string> timelines;
    for (const std::string& name : test::namesIn(UserPaths::timelineFolder())) {
        const std::string path = UserPaths::timelineFolder() + "/" + name;
        if (fs::is_directory(path)) {
            timelines.push_back(path);
        }
    }
    ASSERT_EQ(timelines.size(), 1u);

    const test::CliRun fromBackup = test::runTool(home.path(), {"scan", backup, "--deleted"});
    const test::CliRun fromTimeline =
        test::runTool(home.path(), {"scan", timelines[0], "--deleted"});
    ASSERT_EQ(fromBackup.exitCode, 0) << fromBackup.err;
    ASSERT_EQ(fromTimeline.exitCode, 0) << fromTimeline.err;
    EXPECT_EQ(countLines(fromTimeline.out), countLines(fromBackup.out));
    EXPECT_TRUE(test::contains(fromTimeline.out, "Calls"));

    const std::string to = home.path() + "/out";
    const test::CliRun exported =
        test::runTool(home.path(), {"export", timelines[0], "--to", to, "--deleted"});
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_FALSE(test::contains(exported.err, "failed:")) << exported.err;
    EXPECT_FALSE(test::contains(exported.err, "not in the backup")) << exported.err;
    for (const std::string& name : test::namesIn(to + "/Media Files")) {
        EXPECT_EQ(name.find(".jpg.jpg"), std::string::npos) << name;
    }
    EXPECT_FALSE(test::namesIn(to + "/Media Files").empty());
}

}  // namespace
}  // namespace vessamo
