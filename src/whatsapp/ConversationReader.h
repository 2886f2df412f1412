#pragma once

#include "backup/ScanState.h"
#include "backup/SourceDatabase.h"
#include "whatsapp/PicturePaths.h"

namespace vessamo {

// Whether a source gets the pseudo-conversation of starred messages; only
// backups say which messages are starred.
enum class StarredList { Add, None };

// One picture record per profile picture row, with the file the resolver
// finds for its stored path.
void readPictures(ScanState& state, SourceDatabase& chatDatabase, const PictureResolver& resolve);
// One conversation per chat session, then the starred list when asked for.
void readConversations(ScanState& state, SourceDatabase& chatDatabase, StarredList starred);
// Every group member, in row order.
void readGroupMembers(ScanState& state, SourceDatabase& chatDatabase);

}  // namespace vessamo
