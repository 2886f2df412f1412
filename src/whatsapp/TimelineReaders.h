#pragma once

#include <string>

#include "backup/ScanState.h"
#include "common/Status.h"

namespace vessamo {

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
