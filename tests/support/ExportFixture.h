#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "results/ScanResult.h"
#include "support/ResultFactory.h"
#include "support/TestSupport.h"

namespace vessamo::test {

// 2021-03-14 14:09 UTC, shown as "03-14-2021 15:09" in Europe/Berlin.
inline constexpr std::time_t kMarch14At1509Berlin = 1615730940;
inline constexpr AppleTime kMarch14At1509 = {kMarch14At1509Berlin - AppleTime::kUnixOffset};

// A scan result made by hand for the export tests, on a fake backup whose
// index maps "Message/<stored path>" to files in the test's folder.
class ExportFixture : public ::testing::Test {
protected:
    ExportFixture() { make.state().index.bNewAppVersion = true; }

    // Places a media file in the fake backup under its file key.
    std::string addBackupFile(std::string_view stored, std::string_view key,
                              const std::string& bytes) {
        const std::string file = home.path() + "/backup/" + std::string(key);
        writeFile(file, bytes);
        make.media("Message/" + std::string(stored), file);
        return file;
    }

    KTWhatsAppNode& mediaMessage(int32_t chatID, Direction direction, int32_t attchType,
                                 std::string_view stored) {
        KTWhatsAppNode& message = make.message(chatID, "caption", direction, kMarch14At1509);
        message.isHaveAttch = true;
        message.attchType = attchType;
        message.messageAttchpath = make.text(stored);
        return message;
    }

    // A recovered message whose texts live in the scan's store.
    void recovered(int32_t chatID, std::string_view name, std::string_view content) {
        KTWhatsAppNode message;
        message.chatID = chatID;
        message.bDeleted = true;
        message.messageName = make.text(name);
        message.messageContent = make.text(content);
        message.messageType = Direction::Receive;
        make.recovered(message);
    }

    // Ends the scan; the result lives as long as the test.
    const ScanResult& finish() {
        result = make.finish();
        return *result;
    }

    // The finished result's conversations, in list order; recovered-only
    // ones when asked.
    [[nodiscard]] std::vector<const KTWhatsAppCovNode*> chats(bool recoveredOnly = false) const {
        std::vector<const KTWhatsAppCovNode*> chosen;
        for (const KTWhatsAppCovNode& chat :
             recoveredOnly ? result->whatsAppArray : result->WhatsAppConvChatArray) {
            chosen.push_back(&chat);
        }
        return chosen;
    }

    TempHome home;
    std::string out = home.path() + "/out";
    ResultFactory make;
    ScanResultPtr result;
};

}  // namespace vessamo::test
