#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "backup/ScanReporter.h"
#include "common/ScratchFolder.h"
#include "common/Status.h"
#include "common/Text.h"
#include "results/BackupFileIndex.h"
#include "results/DeletedMessageIntake.h"
#include "results/KTCallHistoryNode.h"
#include "results/KTContactImageNode.h"
#include "results/KTContactNode.h"
#include "results/KTPhotoAndVideoNode.h"
#include "results/KTWhatAppGroupInfo.h"
#include "results/KTWhatAppGroupMember.h"
#include "results/KTWhatsAppCovNode.h"
#include "results/KTWhatsAppFavContact.h"
#include "results/KTWhatsAppIDInfo.h"
#include "results/KTWhatsAppNode.h"
#include "results/ScanResult.h"

namespace vessamo {

// No WhatsApp account's media come near this; an archive that does is
// taken for a decompression bomb.
inline constexpr uint64_t kDefaultUnpackLimit = uint64_t{64} << 30;

// Everything the stages of one scan read and fill, owned by the scan's
// worker thread alone; nothing else sees it. When the stages are done,
// finish() turns it into the immutable ScanResult.
struct ScanState {
    ScanState(ScanReporter& scanReporter, std::stop_token stopToken)
        : reporter(scanReporter), stop(std::move(stopToken)) {}
    ScanState(const ScanState&) = delete;
    ScanState& operator=(const ScanState&) = delete;

    ScanReporter& reporter;
    std::stop_token stop;
    bool biOS10version = false;  // the backup's catalogue is Manifest.db
    bool bScanDeleted = false;   // advanced recovery: carve deleted messages too
    // iCloud Drive: how long one media archive may take to unpack.
    std::chrono::milliseconds unpackTimeout = std::chrono::minutes(30);
    // iCloud Drive: what all media archives together may unpack, in bytes.
    uint64_t unpackLimit = kDefaultUnpackLimit;

    TextStore texts;        // every Text of the records below
    BackupFileIndex index;  // treeFileDict, whatsAppFileArray, wpMediaArray, ...

    std::vector<KTWhatAppGroupInfo> whatsAppGroupInfoArray;
    std::vector<KTWhatAppGroupMember> whatsAppGroupMemberArray;
    std::vector<KTWhatsAppFavContact> whatsAppFavContactArray;  // WhatsApp contacts
    std::vector<KTContactImageNode> contactImageArray;
    std::vector<KTContactNode> contactArray;  // the phone's address book
    std::vector<KTCallHistoryNode> wpCallArray;
    std::vector<KTWhatsAppNode> wpChatArray;  // messages in row order
    std::vector<KTWhatsAppCovNode> wpConvChatArray;
    std::vector<KTPhotoAndVideoNode> wpAttachArray;
    DeletedMessageIntake intake;  // recovered messages shown as they arrive

    std::optional<KTWhatsAppIDInfo> currentNodeInfo;  // the account owner, when found
    std::string currentScanPath;                      // the chat database last read
    std::string tempfilePath;  // where iCloud archives are unpacked, ends in "/"
    // The private folder behind tempfilePath; it goes on to the result.
    std::shared_ptr<ScratchFolder> unpackFolder;
    std::string fullTimelinPath;  // the Timeline folder being read
    std::vector<Status> problems;

    [[nodiscard]] bool stopRequested() const { return stop.stop_requested(); }

    // Texts for the records: keep() for texts of their own (message
    // bodies), intern() for the names, numbers and paths that repeat.
    [[nodiscard]] Text keep(std::string_view bytes) { return texts.keep(bytes); }
    [[nodiscard]] Text keep(const std::string& bytes) { return texts.keep(bytes); }
    [[nodiscard]] Text intern(std::string_view bytes) { return texts.intern(bytes); }
    [[nodiscard]] std::optional<Text> keep(const std::optional<std::string>& bytes) {
        return bytes ? std::optional(texts.keep(*bytes)) : std::nullopt;
    }

    // A stage could not read something: logged, told to the reporter and
    // kept for the result. An ok status is ignored.
    void note(std::string_view stage, const Status& status);

    // The private copy, log folded in, that readers open instead of a
    // source database. Made once per scan and file; notFound when the
    // source is missing, ioError when it cannot be copied.
    [[nodiscard]] StatusOr<std::string> databaseCopy(const std::string& source);

    // How a report names a file of the source: a backup's data file by the
    // name its catalogue gave it ("ChatStorage.sqlite"), as its hashed file
    // key tells a person nothing; any other file by its path.
    [[nodiscard]] std::string nameOf(const std::string& source) const;

    // The scan is over: sorts the messages into their conversations and
    // hands every collection to the result. The state is empty afterwards.
    [[nodiscard]] std::shared_ptr<const ScanResult> finish(SourceKind kind,
                                                           const std::string& folder);

private:
    std::optional<ScratchFolder> scratch_;
    std::vector<std::pair<std::string, StatusOr<std::string>>> copies_;
};

}  // namespace vessamo
