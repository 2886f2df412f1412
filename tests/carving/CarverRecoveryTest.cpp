#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "carving/CarvingFile.h"
#include "carving/DeletedMessageCarver.h"
#include "common/TextConversion.h"
#include "sample/SampleDeletedMessages.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

using sample::MessageTableShape;

class CarverRecovery : public ::testing::TestWithParam<MessageTableShape> {};

// Every deleted row whose record still stands in the file comes back with
// its text and its chat, in each of the three message-table shapes.
TEST_P(CarverRecovery, EverySurvivingDeletedRowIsRecovered) {
    test::TempHome home;
    sample::DeletedRowsOptions options;
    options.shape = GetParam();
    options.messages = 400;
    const std::string path = home.path() + "/ChatStorage.sqlite";
    std::string error;
    auto written = sample::writeChatStorageWithDeletedRows(path, options, &error);
    ASSERT_TRUE(written) << error;
    ASSERT_FALSE(written->survivingDeletedRows.empty());

    auto file = CarvingFile::open(path);
    ASSERT_TRUE(file);
    std::set<std::pair<int32_t, std::string>> carved;
    DeletedMessageCarver carver(CarverVariant::Backup, nullptr);
    ASSERT_TRUE(carver.carve(*file, [&](CarvedRecord record) {
        EXPECT_TRUE(record.message->bDeleted);
        carved.emplace(record.message->chatID, record.message->messageContent);
    }));
    for (const sample::SurvivingRow& row : written->survivingDeletedRows) {
        const std::string text = row.text.empty() ? " " : GetStringFormChar(row.text);
        EXPECT_EQ(carved.count({static_cast<int32_t>(row.chat), text}), 1u)
            << "row " << row.pk << " \"" << row.text << "\"";
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, CarverRecovery,
                         ::testing::Values(MessageTableShape::Columns18,
                                           MessageTableShape::Columns20,
                                           MessageTableShape::Columns34));

}  // namespace
}  // namespace vessamo
