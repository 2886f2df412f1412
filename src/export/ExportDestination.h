#pragma once

#include <string>

#include "common/Status.h"
#include "results/ScanResult.h"

namespace vessamo {

// An export must never write into the source it reads: a backup, Timeline
// or iCloud folder is only ever read. A destination that is the source, lies
// inside it or holds it is refused (invalid, with words a person can act
// on). Both are compared by their real paths, links resolved, so another
// spelling of the same folder is no way round it; a destination that does
// not exist yet is judged by the folder it would be made in.
[[nodiscard]] Status checkExportDestination(const ScanResult& result,
                                            const std::string& destination);

}  // namespace vessamo
