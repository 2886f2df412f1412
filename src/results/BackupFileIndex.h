#pragma once

#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/Text.h"
#include "results/KTTreeDirNode.h"

namespace vessamo {

// The WhatsApp files of one source, built by one of the catalogue readers
// at the start of a scan and kept with its result. Its texts live in the
// store of the scan that built it.
struct BackupFileIndex {
    std::unordered_map<std::string_view, Text> treeFileDict;  // relative path -> file
    std::vector<KTTreeDirNode> whatsAppFileArray;
    std::vector<KTTreeDirNode> wpMediaArray;
    Text whatsAppChatPath;        // file key of the last "ChatStorage.sqlite" row
    bool bNewAppVersion = false;  // media live under "Message/Media/"

    // The file that holds a relative path; nullopt when the path was not
    // indexed or its file has gone since.
    [[nodiscard]] std::optional<Text> getFileKeyBytheFilepath(std::string_view relativePath) const;

    // Records one catalogue entry whose file exists.
    void addExisting(const KTTreeDirNode& entry);
};

// Domains whose files a scan keeps. Manifest.mbdb backups predate the
// business app, so their reader keeps only the first two.
inline constexpr std::string_view kWhatsAppDomain = "AppDomain-net.whatsapp.WhatsApp";
inline constexpr std::string_view kWhatsAppGroupDomain =
    "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";
inline constexpr std::string_view kBusinessDomain = "AppDomain-net.whatsapp.WhatsAppSMB";
inline constexpr std::string_view kBusinessGroupDomain =
    "AppDomainGroup-group.net.whatsapp.WhatsAppSMB.shared";

}  // namespace vessamo
