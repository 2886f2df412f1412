#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "export/ExportSource.h"
#include "results/KTContactNode.h"
#include "results/KTWhatsAppCovNode.h"
#include "results/KTWhatsAppFavContact.h"
#include "results/KTWhatsAppResourceNode.h"

namespace vessamo {

// Each export writes below recoverPath, creating its folder first, and runs
// on the caller's worker thread. Conversations are handled when they are at
// selectedRow of the chat list or checked, and are filled on first use.

// Chats/<name>-<subject>.txt: the text messages of each conversation.
ExportReport ExportChatAsTextthreader(const ExportSource& source, const std::string& recoverPath,
                                      std::optional<size_t> selectedRow);
// Chats/<name or number>.vcf: one card per person, never replacing a card an
// earlier conversation or an earlier run wrote.
ExportReport ExportSelectedChatContactsthreader(const ExportSource& source,
                                                const std::string& recoverPath,
                                                std::optional<size_t> selectedRow);
// Contact/<name>.vcf for every address-book contact with a name.
ExportReport ExportChatContactsthreader(const ExportSource& source, const std::string& recoverPath,
                                        ItemCounter* counter = nullptr);
// Favorites Contact/<name>.vcf for every WhatsApp contact with a name.
ExportReport ExportChatFavContactsthreader(const ExportSource& source,
                                           const std::string& recoverPath,
                                           ItemCounter* counter = nullptr);
// Call History/WhatsApp Call.txt.
ExportReport ExportWhatsAppChatCallthreader(const ExportSource& source,
                                            const std::string& recoverPath,
                                            ItemCounter* counter = nullptr);

// A size text such as "4.00K" in bytes: B, K, M, G, anything else is T, in
// powers of 1000; truncated to whole bytes. "" gives 0.
[[nodiscard]] uint64_t sizeFormString(std::string_view sizeText);

// What the combined recovery works on: the result view's lists.
struct RecoveryLists {
    std::vector<KTWhatsAppResourceNodePtr> resources;
    std::vector<KTWhatsAppFavContactPtr> favContacts;
    std::vector<KTContactNodePtr> contacts;
    std::vector<KTWhatsAppCovNodePtr> conversations;  // recovered-only conversations
};

// Copies up to byteCount bytes of a resource file to the destination.
using CopyMedia = std::function<ExportReport(
    const std::string& sourcePath, const std::string& destinationPath, uint64_t byteCount)>;
// Writes the chat pages of the checked conversations into "<recoverPath>/Chats"
// and their media into "<recoverPath>/Media Files".
using WriteChatPages = std::function<ExportReport(
    const std::string& recoverPath, const std::vector<KTWhatsAppCovNodePtr>& conversations)>;

struct RecoveryActions {
    CopyMedia copyMedia;
    WriteChatPages writeChatPages;
};

// The combined recovery of the checked records: Resource, Favrites, Contact
// (cards and Contacts.txt) and Chats. One recovery at a time: a second one
// waits for the first to finish.
ExportReport recoverFilesThread(const RecoveryLists& lists, const std::string& recoverPath,
                                const RecoveryActions& actions, ItemCounter* counter = nullptr);

}  // namespace vessamo
