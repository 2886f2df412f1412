#pragma once

#include <cstdio>
#include <vector>

#include "backup/KTIOSDeviceNode.h"

namespace vessamo::cli {

// Every source found for the user folder: backups in name order, iCloud
// Drive accounts, then Timeline backups, as the desktop application lists them.
[[nodiscard]] std::vector<KTIOSDeviceNodePtr> listSources();

// `vessamo-cli list`: the sources as a table, or as a JSON array whose keys
// are the records' own names.
int runList(bool asJson, std::FILE* out);

}  // namespace vessamo::cli
