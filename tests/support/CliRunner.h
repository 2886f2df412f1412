#pragma once

#include <string>
#include <vector>

namespace vessamo::test {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs vessamo-cli with VESSAMO_HOME set to home and stdout and stderr on
// pipes. When interruptAfter is set, Ctrl-C is sent as soon as stderr shows
// that text.
CliRun runTool(const std::string& home, std::vector<std::string> args,
               const std::string& interruptAfter = "");

}  // namespace vessamo::test
