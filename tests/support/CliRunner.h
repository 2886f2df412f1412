#pragma once

#include <sys/types.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace vessamo::test {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Starts vessamo-cli with VESSAMO_HOME set to home and its stdout and
// stderr on the given descriptors (-1: the null device); its process id.
pid_t startTool(const std::string& home, std::vector<std::string> args, int outFd, int errFd);

// Runs vessamo-cli with VESSAMO_HOME set to home and stdout and stderr on
// pipes. When interruptAfter is set, Ctrl-C is sent as soon as stderr shows
// that text.
CliRun runTool(const std::string& home, std::vector<std::string> args,
               const std::string& interruptAfter = "");

// `sample FOLDER extra...`; false (and a failed test) when it wrote none.
[[nodiscard]] bool writeSample(const std::string& home, const std::string& folder,
                               std::vector<std::string> extra = {});

// `scan args... --json`, parsed; a discarded value (and a failed test) when
// the scan fails or its output is not JSON.
[[nodiscard]] nlohmann::json scanJson(const std::string& home, std::vector<std::string> args,
                                      int expectedExit = 0);

[[nodiscard]] inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Every member of expected is in actual with the same value; objects are
// compared member by member, so actual may hold more.
void expectFields(const nlohmann::json& actual, const nlohmann::json& expected);

}  // namespace vessamo::test
