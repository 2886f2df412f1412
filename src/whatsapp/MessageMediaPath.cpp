#include "whatsapp/MessageMediaPath.h"

#include <array>
#include <string>

namespace vessamo {

std::optional<Text> resolveMessageFile(const KTWhatsAppNode& message,
                                       const BackupFileIndex& index) {
    const std::string prefix = index.bNewAppVersion ? "Message/" : "Library/";
    const std::array<Text, 3> candidates = {message.messageAttchpath, message.messageThumPath,
                                            message.messagePPThumpath};
    for (const Text stored : candidates) {
        if (stored.empty()) {
            continue;
        }
        if (auto file = index.getFileKeyBytheFilepath(prefix + stored)) {
            return file;
        }
    }
    return std::nullopt;
}

}  // namespace vessamo
