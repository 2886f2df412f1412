#pragma once

#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "backup/KTIOSDeviceNode.h"
#include "common/UiPort.h"
#include "common/Worker.h"
#include "results/KTTimeLineFileNode.h"
#include "results/KTTreeDirNode.h"
#include "results/KTWhatsAppIDInfo.h"
#include "results/ScanResult.h"

namespace vessamo {

// The record "Show Content" scans; a listed Timeline is kBackupTypeTimeline.
inline constexpr const char* kBackupTypeTimelineContent = "Timeline BackUp";

inline constexpr const char* kTimelineNotFound = "WhatsApp Timeline information wasn't found.";
inline constexpr const char* kNoScanResult =
    "WhatsApp scanning result wasn't found, Can not Create WhatsApp Timeline.";
inline constexpr const char* kCreateTimelineHint =
    "Please create a WhatsApp Timeline backup, after the scanning of iTunes / iCloud backup or "
    "iPhone device is complete.";
inline constexpr const char* kTimelineCreated =
    "WhatsApp Timeline Backup has been created to complete.";
inline constexpr const char* kTimelineNotCreated = "WhatsApp Timeline Backup could not be created.";

// The start-up value of timelinePath: the default Timeline folder, created
// when missing.
[[nodiscard]] std::string prepareTimelinePath();

// One record per Timeline backup: every folder directly inside timelinePath
// whose name does not begin with ".". Sorted by name, so the list does not
// change with the file system's order.
[[nodiscard]] std::vector<KTIOSDeviceNodePtr> FindWhatsAppTimelineBackup(
    const std::string& timelinePath);

// The account a Timeline backup was made of: its "photo.jpg" when that is
// an image, and the name and status of its "net.whatsapp.WhatsApp.plist".
// The record owns its texts and is shared as the current account.
struct TimelineAccount {
    std::shared_ptr<const KTWhatsAppIDInfo> info;
    std::string nameLabel;   // "Name: %@", empty when the preferences are unreadable
    std::string stateLabel;  // "State: %@"
};
[[nodiscard]] TimelineAccount getTimelineAccount(const std::string& folder);

// What the Timeline view shows: one row per backup and the account of the
// first. With no backup the view stays empty and the person is told how to
// make one.
struct TimelineViewData {
    std::vector<KTTimeLineFileNode> rows;
    std::string fullTimelinPath;  // the first backup; "" when there is none
    TimelineAccount account;      // account.info is null when there is none
};
[[nodiscard]] TimelineViewData ClickShowWhatsAppTimeline(const std::string& timelinePath,
                                                         UiPort& ui);

// The source record that "Show Content" scans for a row.
[[nodiscard]] KTIOSDeviceNodePtr ClickShowContentAction(const KTTimeLineFileNode& row);

// --- Making a Timeline backup from a scan result ---

struct TimelineCopyResult {
    std::string folder;  // the backup's folder; removed again when the copy failed
    size_t filesCopied = 0;
    std::vector<std::string> failures;  // why the copy was given up; empty on success
    [[nodiscard]] bool succeeded() const { return failures.empty(); }
};

// "<date> - <hour>.<minute>.<second>" of the local time: one path component.
[[nodiscard]] std::string timelineFolderName(std::time_t when);

// Creates "<parent>/<name>", or "<parent>/<name> (2)", " (3)", ... when a
// backup of that second exists already, so two backups never share a
// folder. nullopt when no folder could be created.
[[nodiscard]] std::optional<std::string> createTimelineFolder(const std::string& parent,
                                                              const std::string& name);

// The copy a worker runs. The scanned backup's WhatsApp files, address book
// and address-book pictures are kept under their keys with a catalogue of
// them in the backup's hidden folder (kKeptBackupFolder), so the Timeline
// reads to the records the backup gave; the chat database, the address
// book and the profile photo also get the names a Timeline's own readers
// look for, and a "photo.jpg" goes to "<parent>/photo.jpg" too. Files that
// vanished from the source are skipped; a file that cannot be written, or
// a stop request, ends the copy and removes the folder, so no partial
// backup remains.
[[nodiscard]] TimelineCopyResult NewTimeLineCopyAllWhatsAppDataThreader(
    std::span<const KTTreeDirNode> media, const std::string& folder, const std::string& parent,
    std::stop_token stop = {});

// The whole making on the calling thread, as the command line wants it: the
// check, the dated folder below the default Timeline folder with the
// account's preferences beside it, the copy and the closing alert. nullopt
// when there was nothing to copy.
[[nodiscard]] std::optional<TimelineCopyResult> NewWhatsAppTimeLineAction(
    const ScanResult& result, UiPort& ui, std::time_t when = std::time(nullptr));

// Makes Timeline backups from scan results, one at a time, on a worker;
// tells the person the outcome through the UiPort on its main thread.
class TimelineMaker {
public:
    explicit TimelineMaker(UiPort& ui) : ui_(ui) {}
    TimelineMaker(const TimelineMaker&) = delete;
    TimelineMaker& operator=(const TimelineMaker&) = delete;

    // Checks the scan result, creates the dated folder below the default
    // Timeline folder, writes the account's preferences beside it and starts
    // the copy, which keeps the result alive. False when there is nothing to
    // copy (the person is told), the folder cannot be made (told too) or a
    // backup is being made already. Called from one thread.
    bool ClickCreateWhatsAppTimeline(ScanResultPtr result, std::time_t when = std::time(nullptr));
    void wait() { copy_.join(); }
    [[nodiscard]] std::optional<TimelineCopyResult> lastResult() const;
    [[nodiscard]] std::string fullWhatsAppLocation() const;

private:
    void finish(TimelineCopyResult result, bool stopped);

    UiPort& ui_;
    mutable std::mutex mutex_;
    std::string fullWhatsAppLocation_;
    std::optional<TimelineCopyResult> lastResult_;
    Worker copy_;  // last: it ends before what it writes goes
};

}  // namespace vessamo
