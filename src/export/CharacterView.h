#pragma once

#include <string>

#include "export/ExportReport.h"

namespace vessamo {

// The character view of a scanned database file: every printable ASCII
// byte (0x20 to 0x7E) as itself, every other byte as ".", no line breaks.
// An empty or unreadable file gives "".
[[nodiscard]] std::string ConvertFileToHexString(const std::string& path);

// userFolder() + "/Documents/hexFile.txt", which the view opens once written.
[[nodiscard]] std::string hexExportPath();

// Writes the view's text to hexExportPath(), replacing an earlier export.
[[nodiscard]] ExportReport ExportHexFileThread(const std::string& text);

}  // namespace vessamo
