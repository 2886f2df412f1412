#include "app/SourceList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vessamo {
namespace {

using Kind = SourceListRow::Kind;
using Lines = std::vector<std::string>;

KTIOSDeviceNodePtr record(const std::string& name, const std::string& type,
                          const std::string& time = "", int32_t deviceIndex = -1) {
    auto node = std::make_shared<KTIOSDeviceNode>();
    node->strDeviceName = name;
    node->strBackupType = type;
    node->strDeviceBackUpTime = time;
    node->strIOSVersion = "16.1";
    node->deviceIndex = deviceIndex;
    return node;
}

// What a person sees, top to bottom: "# header", "entry | detail", "  panel".
Lines shown(const SourceList& list) {
    Lines lines;
    for (const SourceListRow& row : list.rows()) {
        if (row.kind == Kind::Header) {
            lines.push_back("# " + row.title);
        } else if (row.kind == Kind::Panel) {
            lines.push_back("  panel of " + list.entry(row.id)->title);
        } else {
            lines.push_back(row.title + " | " + row.detail);
        }
    }
    return lines;
}

std::vector<int> tops(const SourceList& list) {
    std::vector<int> out;
    for (const SourceListRow& row : list.rows()) {
        out.push_back(row.top);
    }
    return out;
}

// Rows sit one below the other at their kind's height, and the list is as
// high as all of them.
void expectStacked(const SourceList& list) {
    int top = 0;
    for (const SourceListRow& row : list.rows()) {
        const int height = row.kind == Kind::Header  ? SourceList::kHeaderHeight
                           : row.kind == Kind::Entry ? SourceList::kEntryHeight
                                                     : SourceList::kPanelHeight;
        EXPECT_EQ(row.top, top) << row.title;
        EXPECT_EQ(row.height, height) << row.title;
        top += height;
    }
    EXPECT_EQ(list.leftViewHeight(), top);
}

const SourceListRow& entryTitled(const SourceList& list, const std::string& title) {
    for (const SourceListRow& row : list.rows()) {
        if (row.kind == Kind::Entry && row.title == title) {
            return row;
        }
    }
    ADD_FAILURE() << "no entry " << title;
    return list.rows().front();
}

TEST(SourceList, EmptyHomeShowsTheFourPlaceholders) {
    SourceList list;
    list.rebuild({}, {}, {});
    EXPECT_EQ(shown(list),
              (Lines{"# iOS Device", "No Device Connect | ", "# iTunes Backup",
                     "Setup iTunes Backup | ", "# iCloud Backup", "Setup iCloud Backup | ",
                     "# WhatsApp Time Line", "Create WhatsApp Timeline | "}));
    std::vector<std::pair<int, std::string_view>> placeholders;
    for (const SourceListRow& row : list.rows()) {
        if (row.kind == Kind::Entry) {
            EXPECT_TRUE(isPlaceholder(row.type));
            EXPECT_FALSE(row.record);
            placeholders.emplace_back(row.placeholderType, entryTypeText(row.type));
        }
    }
    EXPECT_EQ(placeholders,
              (std::vector<std::pair<int, std::string_view>>{
                  {1, "NOiOS"}, {2, "NOiTunes"}, {3, "NOiCloud"}, {4, "NOWhatsAppTimeline"}}));
    EXPECT_EQ(list.leftViewHeight(), 4 * 51 + 4 * 59);
    expectStacked(list);
}

TEST(SourceList, EverySectionListsItsRecordsAndOnlyTheLastICloudAccount) {
    SourceList list;
    const auto phone = record("Anna's iPhone", kBackupTypeDevice, "", 3);
    const auto second = record("Work iPhone", kBackupTypeITunes, "2024-05-01 10:00");
    list.rebuild({phone},
                 {record("Anna's iPhone", kBackupTypeITunes, "2024-04-30 08:15"),
                  record("WhatsApp Account:first", kBackupTypeICloud), second,
                  record("WhatsApp Account:last", kBackupTypeICloud)},
                 {record("2024-05-02 Anna", kBackupTypeTimeline)});
    EXPECT_EQ(shown(list), (Lines{"# iOS Device", "Anna's iPhone--16.1 | ", "# iTunes Backup",
                                  "Anna's iPhone | Backup--2024-04-30 08:15",
                                  "Work iPhone | Backup--2024-05-01 10:00", "# iCloud Backup",
                                  "iCloud Backup | WhatsApp Account:last", "# WhatsApp Time Line",
                                  "WhatsApp TimeLine Backup | 2024-05-02 Anna"}));
    EXPECT_EQ(entryTitled(list, "Anna's iPhone--16.1").record, phone);
    EXPECT_EQ(entryTitled(list, "Work iPhone").record, second);
    EXPECT_EQ(entryTypeText(entryTitled(list, "iCloud Backup").type), "iCloud");
    EXPECT_EQ(entryTitled(list, "WhatsApp TimeLine Backup").placeholderType, 0);
    expectStacked(list);
}

TEST(SourceList, CollapsingAfterExpandingRestoresEveryRow) {
    SourceList list;
    list.rebuild({}, {record("A", kBackupTypeITunes), record("B", kBackupTypeITunes)},
                 {record("T", kBackupTypeTimeline)});
    const std::vector<int> before = tops(list);
    const int height = list.leftViewHeight();
    const SourceEntryId a = entryTitled(list, "A").id;
    const SourceEntryId t = entryTitled(list, "WhatsApp TimeLine Backup").id;

    const int bTop = entryTitled(list, "B").top;
    ASSERT_TRUE(list.toggle(a));
    EXPECT_TRUE(list.entry(a)->expanded);
    EXPECT_EQ(entryTitled(list, "B").top, bTop + 150);
    EXPECT_EQ(list.leftViewHeight(), height + 150);
    ASSERT_TRUE(list.toggle(t));  // the last row expands too
    EXPECT_EQ(shown(list)[4], "  panel of A");
    EXPECT_EQ(shown(list).back(), "  panel of WhatsApp TimeLine Backup");
    EXPECT_EQ(list.leftViewHeight(), height + 300);
    expectStacked(list);

    ASSERT_TRUE(list.toggle(a));
    ASSERT_TRUE(list.toggle(t));
    EXPECT_EQ(tops(list), before);
    EXPECT_EQ(list.leftViewHeight(), height);
    EXPECT_FALSE(list.entry(a)->expanded);
}

TEST(SourceList, TogglingAPlaceholderOrAnUnknownIdChangesNothing) {
    SourceList list;
    list.rebuild({}, {record("A", kBackupTypeITunes)}, {});
    const Lines before = shown(list);
    const int height = list.leftViewHeight();
    const SourceEntryId aId = entryTitled(list, "A").id;
    for (const SourceEntryId id : {entryTitled(list, "No Device Connect").id,
                                   entryTitled(list, "Create WhatsApp Timeline").id,
                                   SourceEntryId{aId.value + 1000}, SourceEntryId{0}}) {
        EXPECT_FALSE(list.toggle(id)) << id.value;
        EXPECT_EQ(shown(list), before);
        EXPECT_EQ(list.leftViewHeight(), height);
    }
    // A rebuild names its entries anew: an id of the old list is unknown.
    list.rebuild({}, {record("A", kBackupTypeITunes)}, {});
    EXPECT_FALSE(list.toggle(aId));
}

TEST(SourceList, DevicesComeAndGoAndThePlaceholderComesBack) {
    SourceList list;
    list.rebuild({}, {record("A", kBackupTypeITunes)}, {});
    const Lines empty = shown(list);
    const int height = list.leftViewHeight();

    list.addDeviceView(record("First", kBackupTypeDevice, "", 3));
    ASSERT_TRUE(list.toggle(entryTitled(list, "First--16.1").id));
    list.addDeviceView(record("Second", kBackupTypeDevice, "", 5));
    const Lines both = shown(list);
    EXPECT_EQ(Lines(both.begin(), both.begin() + 5),
              (Lines{"# iOS Device", "First--16.1 | ", "  panel of First--16.1", "Second--16.1 | ",
                     "# iTunes Backup"}));
    EXPECT_EQ(list.leftViewHeight(), height + 59 + 150);
    expectStacked(list);

    list.RemoveDeviceView(42);  // no such device
    EXPECT_EQ(list.leftViewHeight(), height + 59 + 150);
    list.RemoveDeviceView(3);  // its panel goes with it
    EXPECT_EQ(shown(list)[1], "Second--16.1 | ");
    EXPECT_EQ(list.leftViewHeight(), height);
    list.RemoveDeviceView(5);
    EXPECT_EQ(shown(list), empty);
    EXPECT_EQ(list.leftViewHeight(), height);
    EXPECT_EQ(list.rows()[1].placeholderType, 1);
    expectStacked(list);
}

}  // namespace
}  // namespace vessamo
