#pragma once

#include <string>
#include <string_view>

#include "common/Files.h"
#include "common/Status.h"

namespace vessamo {

// Builds the plain-text export files (chat text, calls, contact list). The
// name is historical: the files have always been UTF-8 text without a BOM.
class KTRtfController {
public:
    // Every entry is followed by an empty line.
    void addRtfContent(std::string_view text);

    // Writes the text to the path, replacing any file there. With a root
    // (the export's destination), the folder is entered from it without
    // following links.
    [[nodiscard]] Status writeRtfInFullPath(const std::string& path,
                                            const std::string& root = {}) const;

    struct CategoryWrite {
        Status write;            // of the final path
        std::string finalPath;   // where the text ended up
        std::string renameNote;  // why it went to TXT.txt, when it should not have
    };
    // Writes folder/TXT.txt, or for the "Contact" category folder/Contacts.txt
    // without ever replacing a Contacts.txt already there: the text then goes
    // to TXT.txt instead.
    [[nodiscard]] CategoryWrite writeRtfInPath(const std::string& folder, std::string_view fileType,
                                               const std::string& root = {}) const;

    std::string strRtfContent;
};

}  // namespace vessamo
