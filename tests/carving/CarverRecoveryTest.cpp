#include <gtest/gtest.h>

#include <algorithm>
#include <compare>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "backup/ScanReporter.h"
#include "backup/ScanState.h"
#include "carving/CarvingFile.h"
#include "carving/ChatDatabaseFacts.h"
#include "carving/DeletedMessageCarver.h"
#include "sample/SampleDeletedMessages.h"
#include "support/TestSupport.h"
#include "whatsapp/DeletedMessagesStage.h"

namespace vessamo {
namespace {

using sample::MessageTableShape;

// A message by everything the carver reads into it.
struct Found {
    int32_t chat;
    std::string text;
    std::optional<AppleTime> date;
    Direction direction;
    std::string name;
    std::string number;

    static Found of(const KTWhatsAppNode& m) {
        return {m.chatID,      std::string(m.messageContent), m.messageDate,
                m.messageType, std::string(m.messageName),    std::string(m.messageNumb)};
    }
    auto operator<=>(const Found&) const = default;
};

// How a row of the sample should come back: the text as stored (none for
// a NULL one), the date cut to whole seconds, the direction.
Found expectedOf(const sample::SurvivingRow& row) {
    return {static_cast<int32_t>(row.chat),
            row.text,
            AppleTime{static_cast<int64_t>(row.date)},
            row.fromMe ? Direction::Send : Direction::Receive,
            {},
            {}};
}

std::set<Found> carveOnItsOwn(const std::string& path) {
    auto file = CarvingFile::open(path);
    EXPECT_TRUE(file);
    std::set<Found> carved;
    TextStore texts;
    DeletedMessageCarver carver(CarverVariant::Backup, texts, {},
                                ChatDatabaseFacts::of(path).context);
    EXPECT_TRUE(
        carver.carve(*file, [&](const CarvedRecord& r) { carved.insert(Found::of(r.message)); }));
    return carved;
}

// What the scan reported as recovered, copied as it arrived.
struct RecoveredCopies : ScanReporter {
    void recovered(const KTWhatsAppNode& message) override { found.push_back(Found::of(message)); }
    std::vector<Found> found;
};

Found rowKey(Found found) {
    found.name.clear();
    found.number.clear();
    return found;
}

bool isNumber(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), ::isdigit);
}

class CarverRecovery : public ::testing::TestWithParam<MessageTableShape> {};

// Every deleted row whose record still stands in the file is reported, in
// each of the three message-table shapes, and no row the live reader
// showed is. Enough rows that the stage recycles its scratch texts on the
// way, which must leave the result's records as the carver read them.
TEST_P(CarverRecovery, EverySurvivingDeletedRowIsRecoveredAndNoLiveOne) {
    test::TempHome home;
    const std::string folder = home.path() + "/backup";
    const std::string path = folder + "/7c7fba66680ef796b916b067077cc246adacf01d";
    std::filesystem::create_directories(folder);
    sample::DeletedRowsOptions options;
    options.shape = GetParam();
    options.messages = 8000;
    std::string error;
    const auto written = sample::writeChatStorageWithDeletedRows(path, options, &error);
    ASSERT_TRUE(written) << error;
    ASSERT_FALSE(written->survivingDeletedRows.empty());
    // The stage names each record's author; everything else stays as the
    // carver read it.
    std::set<Found> carved;
    for (const Found& found : carveOnItsOwn(path)) {
        carved.insert(rowKey(found));
    }

    RecoveredCopies reporter;
    ScanState state(reporter, {});
    for (const sample::SurvivingRow& row : written->liveRows) {
        const Found shown = expectedOf(row);
        KTWhatsAppNode& message = state.wpChatArray.emplace_back();
        message.chatID = shown.chat;
        message.messageContent = state.keep(std::string_view(shown.text));
        message.messageDate = shown.date;
        message.messageType = shown.direction;
    }
    ASSERT_EQ(scanDeletedWhatsAppMessageThread(state, folder), Status());
    const ScanResultPtr result = state.finish(SourceKind::Backup, folder);

    std::vector<Found> recovered = reporter.found;
    for (const KTWhatsAppNode& m : result->recoveredMessages) {
        ASSERT_TRUE(carved.contains(rowKey(Found::of(m))))
            << "changed on its way: " << m.messageContent;
    }
    for (const KTWhatsAppNode& m : result->WhatsAppChatArray) {
        if (m.bDeleted) {  // the wide table's records are added, not shown
            ASSERT_TRUE(carved.contains(rowKey(Found::of(m)))) << "changed: " << m.messageContent;
            recovered.push_back(Found::of(m));
        }
    }
    std::map<Found, Found> byRow;
    std::set<std::pair<int32_t, std::string>> texts;
    for (const Found& found : recovered) {
        byRow.emplace(rowKey(found), found);
        texts.emplace(found.chat, found.text);
    }
    for (const sample::SurvivingRow& row : written->survivingDeletedRows) {
        if (row.text.empty()) {
            continue;  // neither text nor media item: nothing a person could read
        }
        const auto found = byRow.find(expectedOf(row));
        ASSERT_NE(found, byRow.end()) << "row " << row.pk << " \"" << row.text << "\"";
        // What the owner sent is the owner's, whom no account names here;
        // what was received names its sender by number, in groups too.
        if (found->second.direction == Direction::Send) {
            EXPECT_EQ(std::pair(found->second.name, found->second.number),
                      std::pair(std::string("Me"), std::string()))
                << row.pk;
        } else {
            EXPECT_TRUE(isNumber(found->second.number)) << row.pk << " " << found->second.number;
            EXPECT_FALSE(found->second.name.empty()) << row.pk;
        }
    }
    // Nothing is shown that is not a deleted row, and no live row at all.
    std::set<Found> deleted;
    for (const sample::SurvivingRow& row : written->deletedRows) {
        deleted.insert(expectedOf(row));
    }
    for (const auto& [key, found] : byRow) {
        EXPECT_TRUE(deleted.contains(key)) << "not a deleted row: " << key.chat << " " << key.text;
    }
    for (const sample::SurvivingRow& row : written->liveRows) {
        const Found shown = expectedOf(row);
        EXPECT_FALSE(row.text.empty() ? byRow.contains(shown)
                                      : texts.contains({shown.chat, shown.text}))
            << "live row " << row.pk << " \"" << row.text << "\"";
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, CarverRecovery,
                         ::testing::Values(MessageTableShape::Columns18,
                                           MessageTableShape::Columns20,
                                           MessageTableShape::Columns34));

}  // namespace
}  // namespace vessamo
