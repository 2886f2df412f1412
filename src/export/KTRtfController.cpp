#include "export/KTRtfController.h"

namespace vessamo {

void KTRtfController::addRtfContent(std::string_view text) {
    strRtfContent.append(text);
    strRtfContent.append("\n\n");
}

Status KTRtfController::writeRtfInFullPath(const std::string& path, const std::string& root) const {
    return writeFileAtomically(path, strRtfContent, WriteMode::replace, Flush::none, root);
}

KTRtfController::CategoryWrite KTRtfController::writeRtfInPath(const std::string& folder,
                                                               std::string_view fileType,
                                                               const std::string& root) const {
    CategoryWrite result;
    if (fileType == "Contact") {
        // Linked into place, never renamed: a Contacts.txt already there stays.
        result.finalPath = folder + "/Contacts.txt";
        result.write = writeFileAtomically(result.finalPath, strRtfContent, WriteMode::keepExisting,
                                           Flush::none, root);
        if (result.write.ok()) {
            return result;
        }
        result.renameNote = "not renamed to " + result.finalPath + ": " + result.write.message();
    }
    result.finalPath = folder + "/TXT.txt";
    result.write = writeRtfInFullPath(result.finalPath, root);
    return result;
}

}  // namespace vessamo
