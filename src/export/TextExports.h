#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "export/ExportReport.h"
#include "results/KTContactNode.h"
#include "results/KTWhatsAppCovNode.h"
#include "results/KTWhatsAppFavContact.h"
#include "results/KTWhatsAppResourceNode.h"
#include "results/ScanResult.h"

namespace vessamo {

// Each export writes below recoverPath, creating its folder first, and runs
// on the caller's worker thread. Conversations are the chosen ones, pointers
// into the result; a stop request ends an export between items.

// Chats/<name>-<subject>.txt: the text messages of each conversation.
ExportReport ExportChatAsTextthreader(const ScanResult& result,
                                      std::span<const KTWhatsAppCovNode* const> conversations,
                                      const std::string& recoverPath,
                                      const ExportControl& control = {});
// Chats/<name or number>.vcf: one card per person, never replacing a card an
// earlier conversation or an earlier run wrote.
ExportReport ExportSelectedChatContactsthreader(
    const ScanResult& result, std::span<const KTWhatsAppCovNode* const> conversations,
    const std::string& recoverPath, const ExportControl& control = {});
// Contact/<name>.vcf for every address-book contact with a name.
ExportReport ExportChatContactsthreader(const ScanResult& result, const std::string& recoverPath,
                                        const ExportControl& control = {});
// Favorites Contact/<name>.vcf for every WhatsApp contact with a name.
ExportReport ExportChatFavContactsthreader(const ScanResult& result, const std::string& recoverPath,
                                           const ExportControl& control = {});
// Call History/WhatsApp Call.txt.
ExportReport ExportWhatsAppChatCallthreader(const ScanResult& result,
                                            const std::string& recoverPath,
                                            const ExportControl& control = {});

// A size text such as "4.00K" in bytes: B, K, M, G, anything else is T, in
// powers of 1000; truncated to whole bytes. "" gives 0.
[[nodiscard]] uint64_t sizeFormString(std::string_view sizeText);

// What the combined recovery works on: the records the person checked,
// pointers into the result.
struct RecoveryLists {
    std::vector<const KTWhatsAppResourceNode*> resources;
    std::vector<const KTWhatsAppFavContact*> favContacts;
    std::vector<const KTContactNode*> contacts;
    std::vector<const KTWhatsAppCovNode*> conversations;  // recovered-only conversations
};

// The combined recovery: Resource, Favrites, Contact (cards and
// Contacts.txt) and Chats (pages and their media). One recovery at a time:
// a second one waits for the first to finish.
ExportReport recoverFilesThread(const ScanResult& result, const RecoveryLists& lists,
                                const std::string& recoverPath, const ExportControl& control = {});

}  // namespace vessamo
