#include "app/SourceList.h"

#include <algorithm>
#include <utility>

namespace vessamo {

namespace {

constexpr const char* kDeviceHeader = "iOS Device";
constexpr const char* kITunesHeader = "iTunes Backup";
constexpr const char* kICloudHeader = "iCloud Backup";
constexpr const char* kTimelineHeader = "WhatsApp Time Line";

SourceListRow header(const char* title) {
    SourceListRow row;
    row.kind = SourceListRow::Kind::Header;
    row.title = title;
    return row;
}

int heightOf(SourceListRow::Kind kind) {
    switch (kind) {
        case SourceListRow::Kind::Header:
            return SourceList::kHeaderHeight;
        case SourceListRow::Kind::Entry:
            return SourceList::kEntryHeight;
        case SourceListRow::Kind::Panel:
            return SourceList::kPanelHeight;
    }
    return 0;
}

bool isDeviceEntry(const SourceListRow& row) {
    return row.kind != SourceListRow::Kind::Header && row.type == SourceEntryType::Device;
}

}  // namespace

std::string_view entryTypeText(SourceEntryType type) {
    switch (type) {
        case SourceEntryType::Device:
            return "iOS";
        case SourceEntryType::NoDevice:
            return "NOiOS";
        case SourceEntryType::ITunes:
            return "iTunes";
        case SourceEntryType::NoITunes:
            return "NOiTunes";
        case SourceEntryType::ICloud:
            return "iCloud";
        case SourceEntryType::NoICloud:
            return "NOiCloud";
        case SourceEntryType::Timeline:
            return "WhatsAppTimeLine";
        case SourceEntryType::NoTimeline:
            return "NOWhatsAppTimeline";
    }
    return "";
}

bool isPlaceholder(SourceEntryType type) {
    return type == SourceEntryType::NoDevice || type == SourceEntryType::NoITunes ||
           type == SourceEntryType::NoICloud || type == SourceEntryType::NoTimeline;
}

void SourceList::rebuild(const std::vector<KTIOSDeviceNodePtr>& devices,
                         const std::vector<KTIOSDeviceNodePtr>& backups,
                         const std::vector<KTIOSDeviceNodePtr>& timelines) {
    leftViewArray_.clear();

    append(header(kDeviceHeader));
    bool anyDevice = false;
    for (const KTIOSDeviceNodePtr& device : devices) {
        if (device) {
            append(makeEntry(SourceEntryType::Device, device));
            anyDevice = true;
        }
    }
    if (!anyDevice) {
        append(makeEntry(SourceEntryType::NoDevice, nullptr));
    }

    append(header(kITunesHeader));
    KTIOSDeviceNodePtr lastICloud;
    bool anyLocal = false;
    for (const KTIOSDeviceNodePtr& backup : backups) {
        if (!backup) {
            continue;
        }
        if (backup->strBackupType == kBackupTypeICloud) {
            lastICloud = backup;
            continue;
        }
        append(makeEntry(SourceEntryType::ITunes, backup));
        anyLocal = true;
    }
    if (!anyLocal) {
        append(makeEntry(SourceEntryType::NoITunes, nullptr));
    }

    append(header(kICloudHeader));
    append(lastICloud ? makeEntry(SourceEntryType::ICloud, lastICloud)
                      : makeEntry(SourceEntryType::NoICloud, nullptr));

    append(header(kTimelineHeader));
    bool anyTimeline = false;
    for (const KTIOSDeviceNodePtr& timeline : timelines) {
        if (timeline) {
            append(makeEntry(SourceEntryType::Timeline, timeline));
            anyTimeline = true;
        }
    }
    if (!anyTimeline) {
        append(makeEntry(SourceEntryType::NoTimeline, nullptr));
    }
    relayout();
}

bool SourceList::toggle(SourceEntryId id) {
    auto it = std::find_if(leftViewArray_.begin(), leftViewArray_.end(), [id](const auto& row) {
        return row.kind == SourceListRow::Kind::Entry && row.id == id;
    });
    if (it == leftViewArray_.end() || isPlaceholder(it->type)) {
        return false;
    }
    const auto at = static_cast<size_t>(it - leftViewArray_.begin());
    if (it->expanded) {
        it->expanded = false;
        eraseAt(at + 1);  // the panel always follows its entry
        return true;
    }
    it->expanded = true;
    SourceListRow panel = *it;
    panel.kind = SourceListRow::Kind::Panel;
    panel.title.clear();
    panel.detail.clear();
    panel.expanded = false;
    insertAt(at + 1, std::move(panel));
    return true;
}

void SourceList::addDeviceView(const KTIOSDeviceNodePtr& device) {
    if (!device) {
        return;
    }
    if (leftViewArray_.empty()) {
        rebuild({}, {}, {});
    }
    // The device section runs from the first header to the next one.
    size_t end = 1;
    while (end < leftViewArray_.size() && leftViewArray_[end].kind != SourceListRow::Kind::Header) {
        ++end;
    }
    for (size_t at = 1; at < end; ++at) {
        if (leftViewArray_[at].type == SourceEntryType::NoDevice) {
            eraseAt(at);
            --end;
            break;
        }
    }
    insertAt(end, makeEntry(SourceEntryType::Device, device));
}

void SourceList::RemoveDeviceView(int32_t deviceIndex) {
    std::erase_if(leftViewArray_, [deviceIndex](const SourceListRow& row) {
        return isDeviceEntry(row) && row.record && row.record->deviceIndex == deviceIndex;
    });
    const bool anyDevice = std::any_of(leftViewArray_.begin(), leftViewArray_.end(),
                                       [](const SourceListRow& row) { return isDeviceEntry(row); });
    if (!anyDevice && !leftViewArray_.empty()) {
        const bool placeholderShown = leftViewArray_.size() > 1 &&
                                      leftViewArray_[1].type == SourceEntryType::NoDevice &&
                                      leftViewArray_[1].kind == SourceListRow::Kind::Entry;
        if (!placeholderShown) {
            insertAt(1, makeEntry(SourceEntryType::NoDevice, nullptr));
            return;
        }
    }
    relayout();
}

const SourceListRow* SourceList::entry(SourceEntryId id) const {
    for (const SourceListRow& row : leftViewArray_) {
        if (row.kind == SourceListRow::Kind::Entry && row.id == id) {
            return &row;
        }
    }
    return nullptr;
}

void SourceList::append(SourceListRow row) {
    leftViewArray_.push_back(std::move(row));
}

void SourceList::insertAt(size_t at, SourceListRow row) {
    leftViewArray_.insert(leftViewArray_.begin() + static_cast<std::ptrdiff_t>(at), std::move(row));
    relayout();
}

void SourceList::eraseAt(size_t at) {
    leftViewArray_.erase(leftViewArray_.begin() + static_cast<std::ptrdiff_t>(at));
    relayout();
}

// Every row sits right below the one before it, so a row put in or taken
// out moves everything below it by its own height.
void SourceList::relayout() {
    int top = 0;
    for (SourceListRow& row : leftViewArray_) {
        row.top = top;
        row.height = heightOf(row.kind);
        top += row.height;
    }
    leftViewHeight_ = top;
}

SourceListRow SourceList::makeEntry(SourceEntryType type, const KTIOSDeviceNodePtr& record) {
    SourceListRow row;
    row.kind = SourceListRow::Kind::Entry;
    row.type = type;
    row.id = SourceEntryId{nextId_++};
    if (!isPlaceholder(type)) {
        row.record = record;
    }
    switch (type) {
        case SourceEntryType::Device:
            row.title = record->strDeviceName + "--" + record->strIOSVersion;
            break;
        case SourceEntryType::ITunes:
            row.title = record->strDeviceName;
            row.detail = "Backup--" + record->strDeviceBackUpTime;
            break;
        case SourceEntryType::ICloud:
            row.title = "iCloud Backup";
            row.detail = record->strDeviceName;
            break;
        case SourceEntryType::Timeline:
            row.title = "WhatsApp TimeLine Backup";
            row.detail = record->strDeviceName;
            break;
        case SourceEntryType::NoDevice:
            row.title = "No Device Connect";
            row.placeholderType = 1;
            break;
        case SourceEntryType::NoITunes:
            row.title = "Setup iTunes Backup";
            row.placeholderType = 2;
            break;
        case SourceEntryType::NoICloud:
            row.title = "Setup iCloud Backup";
            row.placeholderType = 3;
            break;
        case SourceEntryType::NoTimeline:
            row.title = "Create WhatsApp Timeline";
            row.placeholderType = 4;
            break;
    }
    return row;
}

}  // namespace vessamo
