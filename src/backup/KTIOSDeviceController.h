#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupTime.h"
#include "backup/KTIOSDeviceNode.h"
#include "common/Status.h"

namespace vessamo {

class PlistValue;

// A folder laid out as a backup (it has plists or a catalogue) whose
// plists could not be read: listed as such, so it does not just vanish.
struct UnreadableBackup {
    std::string folder;
    Status reason;  // corrupt: plists there but unreadable; notFound: none there
};

// The ordered list of local ("iTunes Backup") and iCloud Drive ("iCloud
// Backup") sources, in the order they were found. Records are shared: the
// scan controller keeps the one it scans as its current source.
class KTIOSDeviceController {
public:
    using Record = std::shared_ptr<KTIOSDeviceNode>;

    explicit KTIOSDeviceController(SystemVersion system = getSystemVersionMajor())
        : system_(system) {}

    [[nodiscard]] const std::vector<Record>& records() const { return records_; }
    // Backups whose plists could not be read, in the order they were met.
    [[nodiscard]] const std::vector<UnreadableBackup>& unreadable() const { return unreadable_; }
    void removeAll() {
        records_.clear();
        unreadable_.clear();
    }

    // Reads one backup folder and appends at most one record; incomplete
    // folders are skipped without a message, backups whose plists cannot be
    // read go to unreadable().
    void addDeviceNodeByPath(const std::string& folder);
    // The record of a folder the person chose: described by its plists when
    // it has them, and never added to the list.
    [[nodiscard]] Record recordForFolder(const std::string& folder) const;
    // Appends one record per WhatsApp account folder that iCloud Drive keeps.
    void addiCloudDeviceNode();

    // Device-type display name of a product type; nullopt for models the
    // table does not know.
    [[nodiscard]] static std::optional<std::string> GetDevcieType(
        const std::optional<std::string>& productType);

private:
    [[nodiscard]] Record readBackupFolder(const std::string& folder) const;
    Record recordFromInfoPlist(const std::string& folder, const PlistValue& info,
                               const std::optional<PlistValue>& manifest) const;
    Record recordFromManifest(const std::string& folder, const PlistValue& lockdown,
                              const PlistValue& manifest) const;
    void addAccountsOf(const std::string& accountsFolder);
    void noteUnreadable(const std::string& folder);

    SystemVersion system_;
    std::vector<Record> records_;
    std::vector<UnreadableBackup> unreadable_;
};

}  // namespace vessamo
