#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "ScanSource.h"
#include "backup/AesCrypto.h"

namespace vessamo::cli {

// The password of an encrypted backup: the first line of a file (its line
// end dropped), or typed at a prompt with echo off when stdin is a
// terminal. nullopt, with the reason on err, when there is neither.
[[nodiscard]] std::optional<SecretBytes> readBackupPassword(const std::string& passwordFile,
                                                            std::ostream& err);

// For an encrypted backup: reads its password, derives its keys (with
// progress on err) and puts them in the source's options. 0 when the
// source can be scanned, else the exit status, the reason said on err and
// nothing written.
[[nodiscard]] int unlockSource(ScanSource& source, const std::string& passwordFile,
                               std::ostream& err);

}  // namespace vessamo::cli
