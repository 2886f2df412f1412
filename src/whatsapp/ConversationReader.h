#pragma once

#include "backup/ScanState.h"
#include "common/SqliteDatabase.h"

namespace vessamo {

// One conversation per chat session, then the starred list.
void readConversations(ScanState& state, const SqliteDatabase& chatDatabase);
// Every group member, in row order.
void readGroupMembers(ScanState& state, const SqliteDatabase& chatDatabase);

}  // namespace vessamo
