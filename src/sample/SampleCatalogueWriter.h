#pragma once

#include <string>
#include <vector>

#include "sample/SampleBackupBuilder.h"

namespace vessamo::sample {

// Writes Manifest.db: the Files table with the keyed-archive MBFile blob
// real backups carry in its "file" column, and the Properties table.
// storedKeys, when given, holds each file's encryption key as the backup
// stores it (in the order of files), for an encrypted backup.
[[nodiscard]] bool writeManifestDb(const std::string& path, const std::vector<SampleFile>& files,
                                   const std::vector<SampleBackupBuilder::RawRow>& rawRows,
                                   std::string* error,
                                   const std::vector<std::string>& storedKeys = {});

// Writes a version 5.0 Manifest.mbdb.
[[nodiscard]] bool writeManifestMbdb(const std::string& path, const std::vector<SampleFile>& files,
                                     std::string* error,
                                     const std::vector<std::string>& storedKeys = {});

// The NSKeyedArchiver MBFile blob of one file, as binary property list bytes.
[[nodiscard]] std::string mbFileArchive(const SampleFile& file, const std::string& storedKey = {});

}  // namespace vessamo::sample
