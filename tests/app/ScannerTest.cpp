#include "app/Scanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <stop_token>

#include "results/BackupFileIndex.h"
#include "sample/SampleSources.h"
#include "support/TestSupport.h"
#include "whatsapp/WhatsAppTestSupport.h"

namespace vessamo {
namespace {

using sample::CatalogueLayout;

// The sample's text messages of a chat, in row order.
std::vector<std::string> textsOfChat(const sample::WhatsAppSample& world, int64_t chat) {
    std::vector<std::string> texts;
    for (const sample::SampleMessage& message : world.database.messages) {
        if (message.chat == chat && message.type == 0) {
            texts.push_back(message.text.value_or(""));
        }
    }
    return texts;
}

// A group call has an entry per participant.
size_t callEntries(const sample::WhatsAppSample& world, size_t calls) {
    size_t entries = 0;
    for (const sample::SampleCall& call : sample::callsOf(world, calls)) {
        entries += call.participantJids.size();
    }
    return entries;
}

bool holdsProblem(const ScanResult& result, StatusCode code) {
    return std::any_of(result.problems.begin(), result.problems.end(),
                       [code](const Status& status) { return status.is(code); });
}

class ScannerTest : public ::testing::Test {
protected:
    std::string writeBackup(CatalogueLayout layout = CatalogueLayout::ManifestDb) {
        const std::string folder = home.backupRoot() + "/device" + std::to_string(++backups);
        EXPECT_TRUE(sample::whatsAppBackup(layout, {}, options).write(folder));
        return folder;
    }

    ScanResultPtr scan(const std::string& folder, ScanOptions scanOptions = {},
                       std::stop_token stop = {}) {
        ScanResultPtr result =
            Scanner::scan(folder, SourceKind::Backup, scanOptions, std::move(stop), reporter);
        EXPECT_TRUE(result);
        EXPECT_EQ(result->problems, reporter.problems);
        return result;
    }

    test::TempHome home;
    sample::WhatsAppSampleOptions options;
    test::RecordingReporter reporter;
    int backups = 0;
};

TEST_F(ScannerTest, BackupResultHoldsEveryCollectionWithMessagesGroupedByChat) {
    const sample::WhatsAppSample world = sample::makeWhatsAppSample(options);
    const ScanResultPtr result = scan(writeBackup());
    EXPECT_EQ(reporter.stages,
              (std::vector<std::string>{"scanManifestDBThread", "scanContactThread",
                                        "getWhatsAppFavateContact", "getWhatsAppIDInfo",
                                        "scanWhatsAppMessageThread", "scanWhatsAppCalllogThread"}));
    // The index counts up to 20, then each stage tells its own mark.
    ASSERT_GE(reporter.progressValues.size(), 5u);
    EXPECT_TRUE(std::is_sorted(reporter.progressValues.begin(), reporter.progressValues.end()));
    EXPECT_EQ(std::vector<int>(reporter.progressValues.end() - 4, reporter.progressValues.end()),
              (std::vector<int>{65, 70, 78, 95}));
    EXPECT_LE(reporter.progressValues[reporter.progressValues.size() - 5], 20);
    EXPECT_TRUE(result->problems.empty()) << result->problems.front().toString();
    EXPECT_FALSE(result->stopped);

    ASSERT_TRUE(result->account);
    EXPECT_EQ(result->account->whatsAppNodeName, world.ownerName);
    EXPECT_EQ(result->account->whatsAppNodeNumber, world.ownerNumber + "@s.whatsapp.net");
    EXPECT_EQ(result->account->whatsAppCurrentStatus, world.ownerStatus);
    EXPECT_EQ(result->WhatsAppContactArray.size(),
              sample::addressBookOf(world, options.otherContacts).size());
    EXPECT_EQ(result->WhatsAppCallArray.size(), callEntries(world, options.calls));
    EXPECT_FALSE(result->WhatsAppFacContactArray.empty());
    EXPECT_FALSE(result->WhatsAppMediaArray.empty());
    EXPECT_FALSE(result->WhatsAppResourceArray.empty());
    EXPECT_FALSE(result->index.whatsAppFileArray.empty());

    // Each chat's span holds its own messages in row order (the texts as the
    // sample wrote them); together the spans hold every message once. The
    // starred list comes last.
    ASSERT_EQ(result->WhatsAppConvChatArray.size(), world.database.chats.size() + 1);
    EXPECT_EQ(result->WhatsAppChatArray.size(), world.database.messages.size());
    size_t spanned = 0;
    for (const KTWhatsAppCovNode& chat : result->WhatsAppConvChatArray) {
        if (chat.bStarredCovMessage) {
            continue;
        }
        const MessageRange messages = result->messagesOf(chat);
        spanned += messages.size();
        std::vector<std::string> texts;
        for (const KTWhatsAppNode& message : messages) {
            EXPECT_EQ(message.chatID, chat.chatID);
            if (message.attchType == 0) {
                texts.push_back(message.messageContent);
            }
        }
        EXPECT_FALSE(texts.empty()) << chat.currentChatName;
        EXPECT_EQ(texts, textsOfChat(world, chat.chatID)) << chat.currentChatName;
    }
    EXPECT_EQ(spanned, result->WhatsAppChatArray.size());

    const KTWhatsAppCovNode& starred = result->WhatsAppConvChatArray.back();
    ASSERT_TRUE(starred.bStarredCovMessage);
    const MessageRange starredMessages = result->messagesOf(starred);
    const auto starredInSample =
        std::count_if(world.database.messages.begin(), world.database.messages.end(),
                      [](const auto& message) { return message.starred; });
    ASSERT_GT(starredInSample, 0);
    ASSERT_EQ(starredMessages.size(), static_cast<size_t>(starredInSample));
    auto sampleStarred = world.database.messages.begin();
    for (const KTWhatsAppNode& message : starredMessages) {
        EXPECT_TRUE(message.bStarredMessage);
        sampleStarred = std::find_if(sampleStarred, world.database.messages.end(),
                                     [](const auto& written) { return written.starred; });
        ASSERT_NE(sampleStarred, world.database.messages.end());
        EXPECT_EQ(message.chatID, sampleStarred->chat);  // in row order across the chats
        ++sampleStarred;
    }
}

// Recovered messages of a live chat join its span, each among the live
// ones by time: after the last live message of an earlier or the same
// moment, before the first of a later one.
TEST_F(ScannerTest, OldCatalogueAndRecoveryChangeTheStagesAndRecoveredMessagesJoinTheLiveByTime) {
    options.deleteEvery = 5;
    ScanOptions recovering;
    recovering.recoverDeleted = true;
    const ScanResultPtr result = scan(writeBackup(CatalogueLayout::Mbdb), recovering);
    ASSERT_FALSE(reporter.stages.empty());
    EXPECT_EQ(reporter.stages.front(), "scanDirAnalyThread");
    EXPECT_EQ(reporter.stages.back(), "scanDeletedWhatsAppMessageThread");
    EXPECT_FALSE(result->WhatsAppMediaArray.empty());
    size_t recovered = 0;
    size_t amongLive = 0;
    for (const KTWhatsAppCovNode& chat : result->WhatsAppConvChatArray) {
        if (chat.bStarredCovMessage) {
            continue;
        }
        std::optional<AppleTime> lastLive;
        std::optional<AppleTime> lastRecovered;
        for (const KTWhatsAppNode& message : result->messagesOf(chat)) {
            ASSERT_TRUE(message.messageDate);
            if (message.bDeleted) {
                EXPECT_TRUE(!lastLive || *lastLive <= *message.messageDate);
                lastRecovered = message.messageDate;
                ++recovered;
                continue;
            }
            EXPECT_TRUE(!lastRecovered || *lastRecovered < *message.messageDate)
                << "a live message of an earlier moment after a recovered one";
            amongLive += lastRecovered ? 1 : 0;
            lastLive = message.messageDate;
        }
    }
    EXPECT_GT(recovered, 0u);
    EXPECT_GT(amongLive, 0u) << "no recovered message was placed before a live one";
}

TEST_F(ScannerTest, StopDuringIndexingSkipsTheStagesLeft) {
    const std::string folder = writeBackup();
    std::stop_source stop;
    reporter.onProgress = [&stop](int) { stop.request_stop(); };
    const ScanResultPtr result = scan(folder, {}, stop.get_token());
    EXPECT_EQ(reporter.stages, std::vector<std::string>{"scanManifestDBThread"});
    EXPECT_TRUE(result->stopped);
    EXPECT_LE(result->WhatsAppMediaArray.size(), 1u);
    EXPECT_TRUE(result->WhatsAppChatArray.empty());
}

// A backup without WhatsApp and one whose chat database is damaged must not
// look alike: the first is absent (notFound), the second corrupt, and what
// other files hold is read either way.
TEST_F(ScannerTest, AbsentAndDamagedChatDatabasesAreToldApart) {
    const std::string damaged = writeBackup();
    const std::string shared(kWhatsAppGroupDomain);
    const sample::SampleBackupBuilder layout(CatalogueLayout::ManifestDb);
    test::writeFile(layout.dataPath(damaged, shared, "ChatStorage.sqlite"),
                    std::string(16384, 'G'));
    const ScanResultPtr broken = scan(damaged);
    EXPECT_TRUE(holdsProblem(*broken, StatusCode::corrupt));
    EXPECT_EQ(std::count(broken->problems.begin(), broken->problems.end(),
                         Status::notFound("WhatsAppMessageDB is not exist")),
              0);
    EXPECT_TRUE(broken->WhatsAppChatArray.empty());
    EXPECT_FALSE(broken->WhatsAppContactArray.empty());
    EXPECT_EQ(broken->WhatsAppCallArray.size(),
              callEntries(sample::makeWhatsAppSample(options), options.calls));

    sample::SampleBackupBuilder withoutWhatsApp(CatalogueLayout::ManifestDb);
    withoutWhatsApp.addFile("HomeDomain", "Library/Preferences/com.apple.springboard.plist", "x");
    const std::string absent = home.backupRoot() + "/no-whatsapp";
    ASSERT_TRUE(withoutWhatsApp.write(absent));
    reporter.problems.clear();
    const ScanResultPtr empty = scan(absent);
    EXPECT_NE(std::find(empty->problems.begin(), empty->problems.end(),
                        Status::notFound("WhatsAppMessageDB is not exist")),
              empty->problems.end());
    EXPECT_FALSE(holdsProblem(*empty, StatusCode::corrupt));
    EXPECT_FALSE(empty->account);
    EXPECT_TRUE(empty->WhatsAppConvChatArray.empty() ||
                empty->WhatsAppConvChatArray.back().bStarredCovMessage);
    EXPECT_TRUE(empty->WhatsAppChatArray.empty());
}

}  // namespace
}  // namespace vessamo
