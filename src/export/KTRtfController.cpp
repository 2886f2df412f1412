#include "export/KTRtfController.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vessamo {

namespace {

// link() fails with EEXIST instead of replacing, which rename() would not.
bool renameWithoutReplacing(const std::string& from, const std::string& to, std::string& why) {
    if (::link(from.c_str(), to.c_str()) != 0) {
        why = std::strerror(errno);
        return false;
    }
    ::unlink(from.c_str());
    return true;
}

}  // namespace

void KTRtfController::addRtfContent(std::string_view text) {
    strRtfContent.append(text);
    strRtfContent.append("\n\n");
}

FileWrite KTRtfController::writeRtfInFullPath(const std::string& path) const {
    return writeFileSafely(path, strRtfContent);
}

KTRtfController::CategoryWrite KTRtfController::writeRtfInPath(const std::string& folder,
                                                               std::string_view fileType) const {
    CategoryWrite result;
    result.finalPath = folder + "/TXT.txt";
    result.write = writeRtfInFullPath(result.finalPath);
    if (!result.write.written || fileType != "Contact") {
        return result;
    }
    const std::string target = folder + "/Contacts.txt";
    std::string why;
    if (renameWithoutReplacing(result.finalPath, target, why)) {
        result.finalPath = target;
    } else {
        result.renameNote = "not renamed to " + target + ": " + why;
    }
    return result;
}

}  // namespace vessamo
