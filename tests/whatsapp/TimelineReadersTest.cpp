#include <gtest/gtest.h>

#include <algorithm>
#include <any>
#include <filesystem>
#include <optional>

#include "addressbook/AddressBookReader.h"
#include "backup/ScanState.h"
#include "carving/DisplayConversions.h"
#include "common/NotificationCenter.h"
#include "common/PlistValue.h"
#include "common/SystemLog.h"
#include "sample/SampleTimeline.h"
#include "support/TestSupport.h"
#include "whatsapp/CallLogReader.h"
#include "whatsapp/ContactLookups.h"
#include "whatsapp/TimelineReaders.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;

const std::string kJid = "@s.whatsapp.net";

std::string numberOf(const std::string& jid) {
    return jid.substr(0, jid.find('@'));
}

class TimelineReadersTest : public ::testing::Test {
protected:
    TimelineReadersTest() {
        progress_ = ScopedObserver(center_, "ScanProgressInfo",
                                   [this](const Notification&) { ++progressPosts_; });
    }

    const sample::TimelineSample& timeline(const sample::TimelineSampleOptions& options = {}) {
        std::string error;
        sample_ = sample::writeTimelineSample(folder_, options, &error);
        EXPECT_TRUE(sample_.has_value()) << error;
        return *sample_;
    }

    void writeCallLog(const PlistValue::Array& objects) {
        PlistValue archive =
            PlistValue::dictionary({{"$archiver", PlistValue::string("NSKeyedArchiver")},
                                    {"$objects", PlistValue::array(objects)}});
        ASSERT_TRUE(archive.writeBinaryFile(folder_ + "/calls.log"));
    }

    test::TempHome home_;
    test::ScopedTimeZone utc_{"UTC"};
    std::string folder_ =
        home_.path() + "/Library/Application Support/Vessamo/2022-01-15 - 13.20.00";
    NotificationCenter center_;
    ScanState state_{center_};
    ScopedObserver progress_;
    int progressPosts_ = 0;
    std::optional<sample::TimelineSample> sample_;
};

TEST_F(TimelineReadersTest, MediaListsEveryFileButHiddenOnes) {
    const auto& written = timeline();
    test::writeFile(folder_ + "/.DS_Store", "finder");
    test::writeFile(folder_ + "/.trash/old.jpg", "gone");
    test::writeFile(folder_ + "/Library/.nomedia", "");  // hidden only inside, still listed
    test::writeFile(home_.path() + "/elsewhere.jpg", "outside");
    fs::create_symlink(home_.path() + "/elsewhere.jpg", folder_ + "/link.jpg");

    ScanTimelineBackupMediaWithPath(state_, folder_);

    std::vector<std::string> expected = written.files;
    expected.push_back("Library/.nomedia");
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> listed;
    for (const KTTreeDirNode& entry : state_.index.wpMediaArray) {
        listed.push_back(entry.fileKey.substr(folder_.size() + 1));
        EXPECT_EQ(entry.filePath, fs::path(entry.fileKey).filename().string());
    }
    EXPECT_EQ(listed, expected);
    EXPECT_NE(std::find(listed.begin(), listed.end(), "net.whatsapp.WhatsApp.zip"), listed.end());
    EXPECT_EQ(state_.whatsAppResourceArray, state_.index.wpMediaArray);
}

TEST_F(TimelineReadersTest, MissingFilesAreLoggedAndYieldNothing) {
    SystemLog::Capture log;
    ScanTimelineBackupMediaWithPath(state_, folder_);
    EXPECT_TRUE(log.contains("WhatsAppMessageDB is not exist"));

    fs::create_directories(folder_);
    SystemLog::Capture inFolder;
    ScanTimelineBackupContactWithPath(state_, folder_);
    getTimelineWhatsAppFavateContact(state_, folder_);
    getTimelineWhatsAppFavateCall(state_, folder_);
    const auto lines = inFolder.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "contactDB is not exist"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "WhatsAppMessageDB is not exist"), 2);
    EXPECT_TRUE(state_.contactArray.empty());
    EXPECT_TRUE(state_.wpfContactArray.empty());
    EXPECT_TRUE(state_.wpCallArray.empty());
    EXPECT_EQ(progressPosts_, 0);
}

TEST_F(TimelineReadersTest, FavouritesFeedBothListsAndTheLookups) {
    const auto& written = timeline();
    ScanTimelineBackupContactWithPath(state_, folder_);
    EXPECT_EQ(state_.contactArray.size(), written.contacts.size());
    EXPECT_EQ(progressPosts_, 0);

    getTimelineWhatsAppFavateContact(state_, folder_);
    ASSERT_EQ(state_.wpfContactArray.size(), written.statuses.size());
    EXPECT_EQ(state_.whatsAppFavContactArray, state_.wpfContactArray);
    for (size_t i = 0; i < written.statuses.size(); ++i) {
        const sample::SampleStatus& status = written.statuses[i];
        const KTWhatsAppFavContact& favourite = *state_.wpfContactArray[i];
        EXPECT_EQ(favourite.whatsAppID, status.whatsAppId);  // kept whole
        EXPECT_EQ(favourite.contactStatu, status.text.value_or(""));
        EXPECT_EQ(favourite.contactImagePath,
                  status.picturePath
                      ? folder_ + "/" + fs::path(*status.picturePath).filename().string()
                      : "");
        const sample::SamplePerson& person = written.whatsApp.people[i];
        EXPECT_EQ(favourite.contactName,
                  person.inAddressBook ? person.first + " " + person.last : "")
            << person.number;
    }

    // Chats look subjects and sender pictures up by number in the favourites.
    ContactLookups lookups(state_.contactArray, state_.whatsAppFavContactArray);
    const sample::SampleStatus& withPicture = written.statuses.front();
    ASSERT_TRUE(withPicture.text && withPicture.picturePath);
    EXPECT_EQ(lookups.getContactStatuByWhatsAppID(numberOf(withPicture.whatsAppId)),
              withPicture.text);
    EXPECT_EQ(lookups.getContactImagepathByWhatsAppID(numberOf(withPicture.whatsAppId)),
              state_.wpfContactArray.front()->contactImagePath);
}

TEST_F(TimelineReadersTest, CallDictionariesOfOtherSizesLeaveTheJidPending) {
    const auto& written = timeline();
    getTimelineWhatsAppFavateCall(state_, folder_);

    std::vector<std::vector<std::string>> expected;
    bool hasOddEntries = false;
    for (size_t i = 0; i < written.calls.size(); ++i) {
        const sample::SampleCall& call = written.calls[i];
        hasOddEntries = hasOddEntries || written.callShapes[i].decoyValues != 0;
        const std::string type = call.incoming ? "Incoming Call" : "Outgoing Call";
        const std::string length = call.duration != 0
                                       ? getCallHistoryDuration(static_cast<int32_t>(call.duration))
                                       : (call.incoming ? "Missed Call" : "Cancelled Call");
        const std::string date =
            GetNSStringDate(GetDateTime(static_cast<int64_t>(call.date2001), 0));
        for (const std::string& jid : call.participantJids) {
            expected.push_back({numberOf(jid), type, length, date});
        }
    }
    ASSERT_TRUE(hasOddEntries);
    std::vector<std::vector<std::string>> seen;
    for (const KTCallHistoryNodePtr& call : state_.wpCallArray) {
        seen.push_back({call->callPhone, call->callType, call->callDuration, call->callDate});
    }
    EXPECT_EQ(seen, expected);

    // A backup's rules take the first dictionary after a JID, the odd one.
    state_.wpCallArray.clear();
    readCallArchive(state_, folder_ + "/calls.log", backupCallArchiveRules());
    ASSERT_EQ(state_.wpCallArray.size(), expected.size());
    EXPECT_TRUE(std::any_of(state_.wpCallArray.begin(), state_.wpCallArray.end(),
                            [](const auto& call) { return call->callDuration == "1 hour"; }));
}

TEST_F(TimelineReadersTest, CallLogFallsBackToTheAppsOlderName) {
    sample::TimelineSampleOptions options;
    options.callLog = false;
    timeline(options);
    const sample::SampleCall call{{"4915112345" + kJid}, 1000, 90, 0, true};
    test::writeFile(folder_ + "/21ae65d600415978a2e08e7969270e078247c1b5",
                    sample::callLogArchive({call}, {{16, 0}}));
    getTimelineWhatsAppFavateCall(state_, folder_);
    ASSERT_EQ(state_.wpCallArray.size(), 1u);
    EXPECT_EQ(state_.wpCallArray[0]->callPhone, "4915112345");
    EXPECT_EQ(state_.wpCallArray[0]->callDuration, "1 minute");
}

TEST_F(TimelineReadersTest, ReferenceCyclesInTheCallLogEnd) {
    fs::create_directories(folder_);
    PlistValue::Dictionary call;
    call["NS.time"] = PlistValue::uid(2);   // refers to itself through the entry
    call["duration"] = PlistValue::uid(3);  // 3 -> 4 -> 3 ...
    call["incoming"] = PlistValue::uid(4);
    for (int i = 0; call.size() < 16; ++i) {
        call["field" + std::to_string(i)] = PlistValue::uid(2);
    }
    writeCallLog({PlistValue::string("$null"), PlistValue::string("4917" + kJid),
                  PlistValue::dictionary(call), PlistValue::uid(4), PlistValue::uid(3)});

    getTimelineWhatsAppFavateCall(state_, folder_);
    ASSERT_EQ(state_.wpCallArray.size(), 1u);
    EXPECT_EQ(state_.wpCallArray[0]->callPhone, "4917");
    EXPECT_EQ(state_.wpCallArray[0]->callType, "Outgoing Call");
    EXPECT_EQ(state_.wpCallArray[0]->callDuration, "Cancelled Call");
    EXPECT_EQ(state_.wpCallArray[0]->callDate, "");
}

}  // namespace
}  // namespace vessamo
