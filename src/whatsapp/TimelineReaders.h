#pragma once

#include <string>

#include "backup/ScanState.h"

namespace vessamo {

// The steps that read a Timeline backup's own files; each takes the Timeline
// folder, logs a missing file and yields nothing for it. The address book of
// a Timeline is read by ScanTimelineBackupContactWithPath (addressbook).

// Every file below the folder, except those under a hidden top-level entry,
// as a media entry (file name, full path) in index.wpMediaArray and
// whatsAppResourceArray, in path order.
void ScanTimelineBackupMediaWithPath(ScanState& state, const std::string& folder);

// The status rows of "<folder>/Contacts.sqlite" as favourite contacts, named
// through the address book. They go to wpfContactArray and also to
// whatsAppFavContactArray, so that the chats of a Timeline get their
// subjects and sender pictures from them as a backup's chats do.
void getTimelineWhatsAppFavateContact(ScanState& state, const std::string& folder);

// The calls of "<folder>/calls.log" (or the app's older call-log name, or the
// chat database's name) under the Timeline's archive rules.
void getTimelineWhatsAppFavateCall(ScanState& state, const std::string& folder);

}  // namespace vessamo
