#pragma once

#include "common/Text.h"

namespace vessamo {

// One file of a source: where it came from and where it lies on disk.
struct KTTreeDirNode {
    Text fileDomain;  // backup domain, e.g. "AppDomain-net.whatsapp.WhatsApp"
    Text filePath;    // path inside the domain, e.g. "ChatStorage.sqlite"
    Text fileKey;     // absolute path of the file inside the source folder

    bool operator==(const KTTreeDirNode& other) const {
        return fileDomain.view() == other.fileDomain.view() &&
               filePath.view() == other.filePath.view() && fileKey.view() == other.fileKey.view();
    }
};

}  // namespace vessamo
