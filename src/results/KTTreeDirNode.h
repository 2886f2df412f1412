#pragma once

#include <string>

namespace vessamo {

// One file of a source: where it came from and where it lies on disk.
struct KTTreeDirNode {
    std::string fileDomain;  // backup domain, e.g. "AppDomain-net.whatsapp.WhatsApp"
    std::string filePath;    // path inside the domain, e.g. "ChatStorage.sqlite"
    std::string fileKey;     // absolute path of the file inside the source folder

    bool operator==(const KTTreeDirNode&) const = default;
};

}  // namespace vessamo
