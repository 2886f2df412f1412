#pragma once

#include <string>
#include <vector>

#include "sample/SampleBackupBuilder.h"

namespace vessamo::sample {

// Writes Manifest.db: the Files table with the keyed-archive MBFile blob
// real backups carry in its "file" column, and the Properties table.
[[nodiscard]] bool writeManifestDb(const std::string& path, const std::vector<SampleFile>& files,
                                   const std::vector<SampleBackupBuilder::RawRow>& rawRows,
                                   std::string* error);

// Writes a version 5.0 Manifest.mbdb.
[[nodiscard]] bool writeManifestMbdb(const std::string& path, const std::vector<SampleFile>& files,
                                     std::string* error);

// The NSKeyedArchiver MBFile blob of one file, as binary property list bytes.
[[nodiscard]] std::string mbFileArchive(const SampleFile& file);

}  // namespace vessamo::sample
