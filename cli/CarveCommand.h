#pragma once

#include <cstdio>
#include <iosfwd>
#include <optional>
#include <string>

namespace vessamo::cli {

struct CarveOptions {
    std::string database;
    std::optional<std::string> table;  // every table when not given
    bool json = false;
};

// `vessamo-cli carve DB`: the deleted rows of a database's tables, read
// from its free room and its write-ahead log; the file is only read.
int runCarve(const CarveOptions& options, std::FILE* out, std::ostream& err);

}  // namespace vessamo::cli
