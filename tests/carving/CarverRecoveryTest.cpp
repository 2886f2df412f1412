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

// Both engines, in each of the three message-table shapes: every deleted
// row whose record still stands in the file comes back exactly as written
// (chat, text, date, direction), nothing comes back that was not a deleted
// row, and no live row at all. The stage reads the table by its schema,
// the pattern carver by its shapes. Enough rows that the stage recycles
// its scratch texts on the way, which must leave its records intact.
TEST_P(CarverRecovery, EverySurvivingDeletedRowIsRecoveredAndNothingElse) {
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

    RecoveredCopies reporter;
    ScanState state(reporter, {});
    ASSERT_EQ(scanDeletedWhatsAppMessageThread(state, folder), Status());
    const ScanResultPtr result = state.finish(SourceKind::Backup, folder);
    std::vector<Found> bySchema = reporter.found;
    for (const KTWhatsAppNode& m : result->WhatsAppChatArray) {
        bySchema.push_back(Found::of(m));  // the wide table's records are added, not shown
    }
    std::vector<Found> byPatterns;
    for (const Found& found : carveOnItsOwn(path)) {
        byPatterns.push_back(found);
    }

    std::set<Found> deleted;
    std::set<Found> live;
    for (const sample::SurvivingRow& row : written->deletedRows) {
        deleted.insert(expectedOf(row));
    }
    for (const sample::SurvivingRow& row : written->liveRows) {
        live.insert(expectedOf(row));
    }
    for (const auto* engine : {&bySchema, &byPatterns}) {
        const char* name = engine == &bySchema ? "schema" : "patterns";
        std::map<Found, Found> byRow;
        for (const Found& found : *engine) {
            // Cells SQLite moved between pages leave old copies of live rows
            // behind; the pattern carver on its own cannot know them, the
            // stage must.
            if (engine == &byPatterns && live.contains(rowKey(found))) {
                continue;
            }
            ASSERT_TRUE(deleted.contains(rowKey(found)))
                << name << ": not a deleted row as written: " << found.chat << " " << found.text;
            byRow.emplace(rowKey(found), found);
        }
        for (const sample::SurvivingRow& row : written->survivingDeletedRows) {
            if (!row.text.empty()) {  // neither text nor media item: nothing to read
                EXPECT_TRUE(byRow.contains(expectedOf(row))) << name << ": row " << row.pk;
            }
        }
    }
    // The stage names what was received by its sender's number, in groups
    // too, and what was sent by the owner, whom no account names here.
    for (const Found& found : bySchema) {
        if (found.direction == Direction::Send) {
            EXPECT_EQ(std::pair(found.name, found.number),
                      std::pair(std::string("Me"), std::string()));
        } else {
            EXPECT_TRUE(isNumber(found.number)) << found.text << " " << found.number;
            EXPECT_FALSE(found.name.empty()) << found.text;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, CarverRecovery,
                         ::testing::Values(MessageTableShape::Columns18,
                                           MessageTableShape::Columns20,
                                           MessageTableShape::Columns34));

}  // namespace
}  // namespace vessamo
