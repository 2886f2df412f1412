#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace vessamo {

struct SystemVersion {
    int32_t major = 10;
    int32_t minor = 0;
    int32_t bugFix = 0;
};

// The operating system's version. The rules that read it were made for
// macOS; elsewhere the system counts as a current one (10.15). On failure it
// logs "Unable to obtain system version: %ld" and reports 10.0.0.
[[nodiscard]] SystemVersion getSystemVersionMajor();

// "YYYY-MM-DD hh:mm:ss +0000" (UTC) to local "YYYY-MM-DD hh:mm". With a
// system minor version below 7 the text comes back unchanged, as it does
// when it cannot be read as a time.
[[nodiscard]] std::string convertCurrentTimeZone2(const std::string& utcText,
                                                  const SystemVersion& system);

// A Unix time in the canonical "YYYY-MM-DD hh:mm:ss +0000" form.
[[nodiscard]] std::string canonicalUtcText(std::time_t unixTime);

// The backup-time text of a file's modification date: converted to local
// time, then cut to its first two blank-separated fields. "" when the file
// has no date.
[[nodiscard]] std::string backupTimeOfFile(const std::string& path, const SystemVersion& system);

}  // namespace vessamo
