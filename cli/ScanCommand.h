#pragma once

#include <cstdio>
#include <iosfwd>
#include <string>

#include "results/ScanResult.h"

namespace vessamo::cli {

struct ScanCommandOptions {
    std::string folder;
    std::string kind;  // itunes, icloud or timeline; empty: told by the folder
    bool json = false;
    bool deleted = false;
    std::string passwordFile;  // encrypted backups; empty: prompt on a terminal
};

// Counts per category of a finished scan and a line per problem, for people
// to read.
[[nodiscard]] std::string scanSummary(const ScanResult& result);

// `vessamo-cli scan`: scans a folder and prints a summary, or the whole
// result as JSON, on out. 130 when Ctrl-C stopped it.
int runScan(const ScanCommandOptions& options, std::FILE* out, std::ostream& err);

}  // namespace vessamo::cli
