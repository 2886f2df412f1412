#pragma once

#include <optional>
#include <string>

#include "backup/ScanState.h"
#include "common/Status.h"

namespace vessamo {

// A Timeline made from a scan keeps the scanned backup's WhatsApp files, its
// address book and their catalogue as a backup of their own in this hidden
// folder, so that it reads to the very records the backup gave. The folder
// counts once its catalogue "Manifest.db" is there: it is written last.
inline constexpr const char* kKeptBackupFolder = ".backup";
[[nodiscard]] std::optional<std::string> keptBackupOf(const std::string& timeline);

// Marks the messages read from a Timeline's kept backup as the Timeline's.
[[nodiscard]] Status markTimelineRecords(ScanState& state, const std::string& folder);

// The steps that read a Timeline backup's own files; each takes the Timeline
// folder and gives notFound ("WhatsAppMessageDB is not exist") and nothing
// for a missing file. The address book of a Timeline is read by
// ScanTimelineBackupContactWithPath (addressbook).

// Every file below the folder, except those under a hidden top-level entry,
// as a media entry (file name, full path) in index.wpMediaArray, in path
// order.
[[nodiscard]] Status ScanTimelineBackupMediaWithPath(ScanState& state, const std::string& folder);

// The status rows of "<folder>/Contacts.sqlite" as WhatsApp contacts, named
// through the address book, so that the chats of a Timeline get their
// subjects and sender pictures from them as a backup's chats do.
[[nodiscard]] Status getTimelineWhatsAppFavateContact(ScanState& state, const std::string& folder);

// The calls of "<folder>/calls.log" (or the app's older call-log name, or the
// chat database's name) under the Timeline's archive rules.
[[nodiscard]] Status getTimelineWhatsAppFavateCall(ScanState& state, const std::string& folder);

}  // namespace vessamo
