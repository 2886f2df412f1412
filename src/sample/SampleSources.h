#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "sample/SampleAddressBook.h"
#include "sample/SampleBackupBuilder.h"
#include "sample/SampleCallLog.h"
#include "sample/SampleWhatsApp.h"

namespace vessamo::sample {

// A backup shaped like a phone with WhatsApp installed: the app's shared
// container (chat database, contacts, preferences, media), its own domain,
// the business app's container (catalogued only in Manifest.db backups),
// and files of unrelated domains that a scan must ignore.
// Manifest.mbdb backups get the old app-container layout.
[[nodiscard]] SampleBackupBuilder whatsAppBackup(CatalogueLayout layout, DeviceInfo device = {},
                                                 const WhatsAppSampleOptions& options = {});

// The phone's address book: the WhatsApp people it knows, written the way
// people type numbers, and others more who do not use WhatsApp.
[[nodiscard]] std::vector<SampleContact> addressBookOf(const WhatsAppSample& sample, size_t others);

// count calls with the people of the chats, newest last; every fourth a
// group call.
[[nodiscard]] std::vector<SampleCall> callsOf(const WhatsAppSample& sample, size_t count);

// Adds count more pictures to the chats' media folders, for large samples.
void addChatPictures(SampleBackupBuilder& builder, size_t count);

// "<home>/Library/Application Support/MobileSync/Backup"
[[nodiscard]] std::string backupRootOf(const std::string& home);

struct ICloudAccountOptions {
    std::string container = "57T9237FN3~net~whatsapp~WhatsApp";
    bool backupPlist = true;
    bool mediaTar = true;
    std::optional<std::time_t> date = std::time_t{1642252800};
};

// Writes the folder iCloud Drive keeps for one WhatsApp account under
// "<home>/Library/Mobile Documents". Returns its backup folder, or nullopt
// when it could not be written.
[[nodiscard]] std::optional<std::string> writeICloudAccount(const std::string& home,
                                                            const std::string& account,
                                                            const ICloudAccountOptions& options);

}  // namespace vessamo::sample
