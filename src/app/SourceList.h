#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "backup/KTIOSDeviceNode.h"

namespace vessamo {

// The kinds of entry the source list shows: a source, or the placeholder
// that stands in its section while there is none.
enum class SourceEntryType {
    Device,      // "iOS"
    NoDevice,    // "NOiOS"
    ITunes,      // "iTunes"
    NoITunes,    // "NOiTunes"
    ICloud,      // "iCloud"
    NoICloud,    // "NOiCloud"
    Timeline,    // "WhatsAppTimeLine"
    NoTimeline,  // "NOWhatsAppTimeline"
};

// The entry's type text: "iOS", "NOiOS", "iTunes", ...
[[nodiscard]] std::string_view entryTypeText(SourceEntryType type);
[[nodiscard]] bool isPlaceholder(SourceEntryType type);

// Names one entry for as long as the list is not rebuilt, whatever moves
// around it: what the expand button of an entry posts.
struct SourceEntryId {
    uint64_t value = 0;
    friend bool operator==(SourceEntryId, SourceEntryId) = default;
};

// One row of the list, top to bottom: a section header, an entry, or the
// expanded panel of the entry above it with its five category buttons.
struct SourceListRow {
    enum class Kind { Header, Entry, Panel };
    Kind kind = Kind::Header;
    std::string title;   // header title, or the entry's label
    std::string detail;  // the entry's muted second line ("" for none)
    SourceEntryType type = SourceEntryType::NoDevice;  // entries and panels
    SourceEntryId id;                                  // entries and panels: the entry's
    KTIOSDeviceNodePtr record;                         // null for headers and placeholders
    // The placeholder button's number: 1 "No Device Connect", 2 "Setup
    // iTunes Backup", 3 "Setup iCloud Backup", 4 "Create WhatsApp
    // Timeline"; 0 for everything else.
    int placeholderType = 0;
    int top = 0;  // points from the top of the list
    int height = 0;
    bool expanded = false;  // entries: their panel is shown below them
};

// The left side of the main window: every source the program can read, in
// four sections, each entry expandable into its category buttons. Only the
// interface thread touches it.
class SourceList {
public:
    static constexpr int kHeaderHeight = 51;
    static constexpr int kEntryHeight = 59;
    static constexpr int kPanelHeight = 150;

    // Builds the four sections anew: connected devices, the local backups
    // and the last iCloud Drive record of the backup list, the Timeline
    // backups; a placeholder stands in every empty section. Nothing is
    // expanded afterwards.
    void rebuild(const std::vector<KTIOSDeviceNodePtr>& devices,
                 const std::vector<KTIOSDeviceNodePtr>& backups,
                 const std::vector<KTIOSDeviceNodePtr>& timelines);

    // Expands a collapsed source entry (its panel goes in below it and every
    // row below moves down by the panel's height) or collapses an expanded
    // one. False, changing nothing, for a placeholder or an unknown id.
    bool toggle(SourceEntryId id);

    // A device arrived: its entry replaces the "NOiOS" placeholder or
    // follows the last device entry.
    void addDeviceView(const KTIOSDeviceNodePtr& device);
    // A device left: its entry (and panel) go, and the placeholder comes
    // back when no device remains.
    void RemoveDeviceView(int32_t deviceIndex);

    [[nodiscard]] const std::vector<SourceListRow>& rows() const { return leftViewArray_; }
    // The entry (not panel) row with that id; null when there is none.
    [[nodiscard]] const SourceListRow* entry(SourceEntryId id) const;
    // The list's whole height in points.
    [[nodiscard]] int leftViewHeight() const { return leftViewHeight_; }

private:
    void append(SourceListRow row);
    void insertAt(size_t at, SourceListRow row);
    void eraseAt(size_t at);
    void relayout();
    [[nodiscard]] SourceListRow makeEntry(SourceEntryType type, const KTIOSDeviceNodePtr& record);

    std::vector<SourceListRow> leftViewArray_;
    int leftViewHeight_ = 0;
    uint64_t nextId_ = 1;
};

}  // namespace vessamo
