#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "addressbook/AddressBookReader.h"
#include "carving/DisplayConversions.h"
#include "sample/SampleTimeline.h"
#include "support/TestSupport.h"
#include "whatsapp/ContactLookups.h"
#include "whatsapp/TimelineReaders.h"
#include "whatsapp/WhatsAppTestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;

const std::string kJid = "@s.whatsapp.net";

std::string numberOf(const std::string& jid) {
    return jid.substr(0, jid.find('@'));
}

using test::CallRow;
using test::rowsOf;

class TimelineReadersTest : public ::testing::Test {
protected:
    const sample::TimelineSample& timeline(const sample::TimelineSampleOptions& options = {}) {
        std::string error;
        sample_ = sample::writeTimelineSample(folder_, options, &error);
        EXPECT_TRUE(sample_.has_value()) << error;
        return *sample_;
    }

    test::TempHome home_;
    std::string folder_ =
        home_.path() + "/Library/Application Support/Vessamo/2022-01-15 - 13.20.00";
    test::ScanRun run_;
    ScanState& state_ = run_.state;
    std::optional<sample::TimelineSample> sample_;
};

TEST_F(TimelineReadersTest, MediaListsEveryFileButHiddenOnes) {
    const auto& written = timeline();
    test::writeFile(folder_ + "/.DS_Store", "finder");
    test::writeFile(folder_ + "/.trash/old.jpg", "gone");
    test::writeFile(folder_ + "/Library/.nomedia", "");  // hidden only inside, still listed
    test::writeFile(home_.path() + "/elsewhere.jpg", "outside");
    fs::create_symlink(home_.path() + "/elsewhere.jpg", folder_ + "/link.jpg");

    EXPECT_TRUE(ScanTimelineBackupMediaWithPath(state_, folder_).ok());

    std::vector<std::string> expected = written.files;
    expected.push_back("Library/.nomedia");
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> listed;
    for (const KTTreeDirNode& entry : state_.index.wpMediaArray) {
        listed.emplace_back(entry.fileKey.substr(folder_.size() + 1));
        EXPECT_EQ(entry.filePath, fs::path(entry.fileKey.str()).filename().string());
    }
    EXPECT_EQ(listed, expected);
    EXPECT_NE(std::find(listed.begin(), listed.end(), "net.whatsapp.WhatsApp.zip"), listed.end());
}

TEST_F(TimelineReadersTest, MissingFilesAreNotFoundAndYieldNothing) {
    const Status missing = Status::notFound("WhatsAppMessageDB is not exist");
    EXPECT_EQ(ScanTimelineBackupMediaWithPath(state_, folder_), missing);
    fs::create_directories(folder_);
    EXPECT_EQ(ScanTimelineBackupContactWithPath(state_, folder_),
              Status::notFound("contactDB is not exist"));
    EXPECT_EQ(getTimelineWhatsAppFavateContact(state_, folder_), missing);
    EXPECT_EQ(getTimelineWhatsAppFavateCall(state_, folder_), missing);
    EXPECT_TRUE(state_.contactArray.empty());
    EXPECT_TRUE(state_.whatsAppFavContactArray.empty());
    EXPECT_TRUE(state_.wpCallArray.empty());
    EXPECT_TRUE(run_.progress().empty());
}

TEST_F(TimelineReadersTest, FavouritesAreNamedByTheAddressBookAndFeedTheLookups) {
    const auto& written = timeline();
    EXPECT_TRUE(ScanTimelineBackupContactWithPath(state_, folder_).ok());
    EXPECT_EQ(state_.contactArray.size(), written.contacts.size());
    EXPECT_TRUE(run_.progress().empty());

    EXPECT_TRUE(getTimelineWhatsAppFavateContact(state_, folder_).ok());
    const auto& favourites = state_.whatsAppFavContactArray;
    ASSERT_EQ(favourites.size(), written.statuses.size());
    for (size_t i = 0; i < written.statuses.size(); ++i) {
        const sample::SampleStatus& status = written.statuses[i];
        const KTWhatsAppFavContact& favourite = favourites[i];
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
    ContactLookups lookups(state_.contactArray, favourites);
    const sample::SampleStatus& withPicture = written.statuses.front();
    ASSERT_TRUE(withPicture.text && withPicture.picturePath);
    EXPECT_EQ(lookups.getContactStatuByWhatsAppID(numberOf(withPicture.whatsAppId)),
              withPicture.text);
    EXPECT_EQ(lookups.getContactImagepathByWhatsAppID(numberOf(withPicture.whatsAppId)),
              favourites.front().contactImagePath);
}

TEST_F(TimelineReadersTest, CallDictionariesOfOtherSizesLeaveTheJidPending) {
    const auto& written = timeline();
    EXPECT_TRUE(getTimelineWhatsAppFavateCall(state_, folder_).ok());

    std::vector<CallRow> expected;
    bool hasOddEntries = false;
    for (size_t i = 0; i < written.calls.size(); ++i) {
        const sample::SampleCall& call = written.calls[i];
        hasOddEntries = hasOddEntries || written.callShapes[i].decoyValues != 0;
        const std::string type = call.incoming ? "Incoming Call" : "Outgoing Call";
        const std::string length = call.duration != 0
                                       ? getCallHistoryDuration(static_cast<int32_t>(call.duration))
                                       : (call.incoming ? "Missed Call" : "Cancelled Call");
        for (const std::string& jid : call.participantJids) {
            expected.emplace_back(numberOf(jid), type, length, static_cast<int64_t>(call.date2001));
        }
    }
    ASSERT_TRUE(hasOddEntries);
    EXPECT_EQ(rowsOf(state_.wpCallArray), expected);
}

TEST_F(TimelineReadersTest, CallLogFallsBackToTheAppsOlderName) {
    sample::TimelineSampleOptions options;
    options.callLog = false;
    timeline(options);
    const sample::SampleCall call{{"4915112345" + kJid}, 1000, 90, 0, true};
    test::writeFile(folder_ + "/21ae65d600415978a2e08e7969270e078247c1b5",
                    sample::callLogArchive({call}, {{16, 0}}));
    EXPECT_TRUE(getTimelineWhatsAppFavateCall(state_, folder_).ok());
    EXPECT_EQ(rowsOf(state_.wpCallArray),
              (std::vector<CallRow>{{"4915112345", "Incoming Call", "1 minute", 1000}}));
}

}  // namespace
}  // namespace vessamo
