#include "whatsapp/DeletedMessagesStage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "backup/ScanReporter.h"
#include "backup/ScanState.h"
#include "carving/RecordImages.h"
#include "common/SystemLog.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

using namespace test;
using Strings = std::vector<std::string>;

// What the scan told, copied as it arrived.
struct Recorder : ScanReporter {
    void progress(int percent) override { percents.push_back(percent); }
    void recovered(const KTWhatsAppNode& m) override {
        contents.emplace_back(m.messageContent);
        pictures.push_back(m.whatsAppcontactPath ? std::string(*m.whatsAppcontactPath) : "none");
    }
    std::vector<int> percents;
    Strings contents;
    Strings pictures;
};

// A record of the oldest table, received or sent, of the next one, or of
// the wide one.
enum class Kind { received, sent, twentyColumns, wide };
std::vector<uint8_t> record(const std::string& text, Kind kind = Kind::received) {
    Message m;
    m.text = text;
    if (kind == Kind::sent) {
        m.fromMe = true;
        m.from.clear();
    }
    if (kind == Kind::wide) {
        m.lead = {0x01, 0x01, 0x01};
        return recordBytes(0x23, kWide, m);
    }
    return kind == Kind::twentyColumns ? recordBytes(0x15, kTwenty, m)
                                       : recordBytes(0x13, kEighteen, m);
}

Strings contentsOf(const std::vector<KTWhatsAppNode>& messages) {
    Strings out;
    for (const KTWhatsAppNode& message : messages) {
        out.emplace_back(message.messageContent);
    }
    return out;
}

const std::string kChatKey = "7c7fba66680ef796b916b067077cc246adacf01d";

class DeletedMessagesStage : public ::testing::Test {
protected:
    // A chat database image holding the records, one page each.
    static void writeDatabase(const std::string& path,
                              const std::vector<std::vector<uint8_t>>& records) {
        DatabaseImage image(1024, records.size() + 1);
        for (size_t i = 0; i < records.size(); ++i) {
            image.putRecord(i + 1, 300, records[i]);
        }
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        image.write(path);
    }

    // A message as the live reader would have shown it.
    KTWhatsAppNode& live(std::string_view text, int64_t seconds = kMessageSeconds) {
        KTWhatsAppNode& message = state.wpChatArray.emplace_back();
        message.chatID = 3;
        message.messageContent = state.keep(text);
        message.messageDate = AppleTime{seconds};
        return message;
    }

    TempHome home;
    std::string folder = home.path() + "/backup";
    Recorder reporter;
    std::stop_source stop;
    ScanState state{reporter, stop.get_token()};
};

TEST_F(DeletedMessagesStage, BackupReportsWhatTheReaderDidNotShowAndKeepsItsTexts) {
    writeDatabase(folder + "/" + kChatKey,
                  {record("one"), record("two", Kind::sent), record("three"), record("four"),
                   record("five", Kind::wide)});
    const auto before = treeDigest(folder);
    live("one");
    live("two", kMessageSeconds + 1);  // another second: another message
    live("three").bDeleted = true;     // recovered before, not shown by the reader
    SystemLog::Capture log;

    ASSERT_EQ(scanDeletedWhatsAppMessageThread(state, folder), Status());
    EXPECT_EQ(reporter.contents, (Strings{"two", "three", "four"}));
    EXPECT_EQ(reporter.percents, std::vector<int>{80});
    EXPECT_TRUE(log.contains("Deleted-message recovery left out 1 copies of live messages"));
    EXPECT_EQ(treeDigest(folder), before);  // the source is only copied
    // The wide table's rows are added to the messages, not shown.
    EXPECT_EQ(contentsOf(state.wpChatArray), (Strings{"one", "two", "three", "five"}));
    EXPECT_TRUE(state.wpChatArray.back().bDeleted);

    // The carver's own store is gone: the result's texts are the scan's.
    const ScanResultPtr result = state.finish(SourceKind::Backup, folder);
    EXPECT_EQ(contentsOf(result->recoveredMessages), (Strings{"two", "three", "four"}));
    ASSERT_EQ(result->whatsAppArray.size(), 1u);
    EXPECT_EQ(result->whatsAppArray[0].currentChatName, "Anna");
}

TEST_F(DeletedMessagesStage, BackupFindsTheSendersPictureAndHonoursTheStop) {
    state.biOS10version = true;
    writeDatabase(folder + "/7c/" + kChatKey, {record("hi"), record("yo", Kind::sent)});
    KTWhatsAppFavContact& favourite = state.whatsAppFavContactArray.emplace_back();
    favourite.whatsAppID = state.intern("4915112345678@s.whatsapp.net");
    favourite.contactImagePath = state.intern("Media/Profile/4915112345678-1");
    const std::string picture = folder + "/picture";
    writeFile(picture, "jpeg");
    state.index.treeFileDict[state.intern("Media/Profile/4915112345678-1.thumb")] =
        state.intern(picture);

    ASSERT_EQ(scanDeletedWhatsAppMessageThread(state, folder), Status());
    EXPECT_EQ(reporter.pictures, (Strings{picture, "none"}));  // the sender's; the recipient's

    stop.request_stop();
    ASSERT_EQ(scanDeletedWhatsAppMessageThread(state, folder), Status());
    EXPECT_EQ(reporter.contents.size(), 2u);
    EXPECT_EQ(reporter.percents, std::vector<int>{80});
}

TEST_F(DeletedMessagesStage, AbsentAndUnreadableDatabasesAreToldApart) {
    const std::string odd = home.path() + "/odd";
    DatabaseImage noPageSize(1024, 3, 1000);
    noPageSize.putRecord(1, 300, record("unseen"));
    std::filesystem::create_directories(odd);
    noPageSize.write(odd + "/" + kChatKey);
    const Status absent = Status::notFound("WhatsAppMessageDB is not exist");

    EXPECT_EQ(scanDeletedWhatsAppMessageThread(state, ""), Status());
    EXPECT_EQ(scanDeletedWhatsAppMessageThread(state, folder), absent);
    EXPECT_EQ(scanDeletediCloudWhatsAppMessageThread(state, folder), absent);
    EXPECT_EQ(scanDeletedWhatsAppMessageThread(state, odd).code(), StatusCode::corrupt);
    EXPECT_TRUE(reporter.contents.empty());
    EXPECT_TRUE(reporter.percents.empty());
}

TEST_F(DeletedMessagesStage, IcloudAppendsAndShowsEvenWhenStopped) {
    writeDatabase(folder + "/ChatStorage.sqlite",
                  {record("old table"), record("newer table", Kind::twentyColumns)});
    live("live");
    stop.request_stop();
    ASSERT_EQ(scanDeletediCloudWhatsAppMessageThread(state, folder), Status());
    EXPECT_EQ(reporter.contents, Strings{"old table"});
    EXPECT_EQ(contentsOf(state.wpChatArray), (Strings{"live", "old table", "newer table"}));
    EXPECT_EQ(reporter.percents, std::vector<int>{80});
}

}  // namespace
}  // namespace vessamo
