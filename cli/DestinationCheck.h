#pragma once

#include <optional>
#include <string>

namespace vessamo::cli {

// Why an export could not write into destination, said before any scan
// starts: a path that is not a folder, a folder this user cannot write, a
// missing folder whose nearest existing parent cannot take it, or a folder
// inside the source, which is never written. nullopt when it can go ahead.
[[nodiscard]] std::optional<std::string> destinationProblem(const std::string& destination,
                                                            const std::string& source);

}  // namespace vessamo::cli
