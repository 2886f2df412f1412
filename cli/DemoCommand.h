#pragma once

#include <iosfwd>
#include <string>

namespace vessamo::cli {

// `vessamo-cli demo`: makes a sample backup in a fresh temporary user
// folder, scans it with deleted-message recovery and exports everything
// into destination. The temporary user folder is removed before it returns.
int runDemo(const std::string& destination, std::ostream& out, std::ostream& err);

}  // namespace vessamo::cli
