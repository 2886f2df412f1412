#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vessamo::cli {

// `vessamo-cli convert`: each voice note becomes a WAV file beside it.
int runConvert(const std::vector<std::string>& files, std::ostream& out, std::ostream& err);

}  // namespace vessamo::cli
