#include "whatsapp/MessageMediaPath.h"

#include <array>
#include <string>

#include "common/ConfinedFiles.h"

namespace vessamo {

std::optional<Text> resolveMessageFile(const KTWhatsAppNode& message,
                                       const BackupFileIndex& index) {
    const std::string prefix = index.bNewAppVersion ? "Message/" : "Library/";
    const std::array<Text, 3> candidates = {message.messageAttchpath, message.messageThumPath,
                                            message.messagePPThumpath};
    for (const Text stored : candidates) {
        // Paths come from the chat database: one that climbs out is no media.
        if (!isPlainRelativePath(stored)) {
            continue;
        }
        if (auto file = index.getFileKeyBytheFilepath(prefix + stored)) {
            return file;
        }
    }
    return std::nullopt;
}

}  // namespace vessamo
