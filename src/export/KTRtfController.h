#pragma once

#include <string>
#include <string_view>

#include "export/SafeFileName.h"

namespace vessamo {

// Builds the plain-text export files (chat text, calls, contact list). The
// name is historical: the files have always been UTF-8 text without a BOM.
class KTRtfController {
public:
    // Every entry is followed by an empty line.
    void addRtfContent(std::string_view text);

    // Writes the text to the path, replacing any file there.
    [[nodiscard]] FileWrite writeRtfInFullPath(const std::string& path) const;

    struct CategoryWrite {
        FileWrite write;         // of folder/TXT.txt
        std::string finalPath;   // where the text ended up
        std::string renameNote;  // why it stayed TXT.txt, when it should not have
    };
    // Writes folder/TXT.txt and, for the "Contact" category, moves it to
    // folder/Contacts.txt without ever replacing a Contacts.txt already there.
    [[nodiscard]] CategoryWrite writeRtfInPath(const std::string& folder,
                                               std::string_view fileType) const;

    std::string strRtfContent;
};

}  // namespace vessamo
