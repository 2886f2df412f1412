#include "backup/ScanState.h"

#include <algorithm>
#include <unordered_map>

#include "backup/BackupFileLocator.h"
#include "common/DatabaseCopy.h"
#include "common/Files.h"
#include "common/SystemLog.h"

namespace vessamo {

namespace {

// The list's positions grouped by conversation: chats in key order, each
// chat's messages in list order (row order, then recovered ones). A
// counting sort over four-byte positions; the records stay where they are.
std::vector<uint32_t> groupedByChat(const std::vector<KTWhatsAppNode>& messages) {
    std::unordered_map<int32_t, uint32_t> counts;
    for (const KTWhatsAppNode& message : messages) {
        ++counts[message.chatID];
    }
    std::vector<std::pair<int32_t, uint32_t>> chats(counts.begin(), counts.end());
    std::sort(chats.begin(), chats.end());
    std::unordered_map<int32_t, uint32_t> next;
    uint32_t first = 0;
    for (const auto& [chat, count] : chats) {
        next.emplace(chat, first);
        first += count;
    }
    std::vector<uint32_t> order(messages.size());
    int32_t lastChat = 0;
    uint32_t* lastSlot = nullptr;  // runs of one chat skip the look-up
    for (uint32_t i = 0; i < messages.size(); ++i) {
        if (lastSlot == nullptr || messages[i].chatID != lastChat) {
            lastChat = messages[i].chatID;
            lastSlot = &next[lastChat];
        }
        order[(*lastSlot)++] = i;
    }
    return order;
}

}  // namespace

void ScanState::note(std::string_view stage, const Status& status) {
    if (status.ok()) {
        return;
    }
    // One damaged database read by two stages is one problem to the person.
    if (std::find(problems.begin(), problems.end(), status) != problems.end()) {
        return;
    }
    SystemLog::write(status.message());
    reporter.problem(stage, status);
    problems.push_back(status);
}

StatusOr<std::string> ScanState::databaseCopy(const std::string& source) {
    for (const auto& [path, copy] : copies_) {
        if (path == source) {
            return copy;
        }
    }
    if (!scratch_) {
        scratch_ = ScratchFolder::create("vessamo-scan");
        if (!scratch_) {
            return Status::ioError("cannot create a private folder for database copies");
        }
    }
    StatusOr<std::string> copy = Status::notFound(source + " is missing");
    if (BackupFileLocator::exists(source)) {
        auto wal = BackupFileLocator::writeAheadLogOf(source, index);
        auto made = makeFoldedCopy(*scratch_, index.within(source), wal.value_or(std::string()));
        copy = made ? StatusOr<std::string>(*made)
                    : StatusOr<std::string>(Status::ioError("cannot copy " + source));
    }
    copies_.emplace_back(source, copy);
    return copy;
}

std::string ScanState::nameOf(const std::string& source) const {
    for (const KTTreeDirNode& entry : index.whatsAppFileArray) {
        if (entry.fileKey == source && !entry.filePath.empty()) {
            return std::string(lastComponent(entry.filePath));
        }
    }
    return source;
}

std::shared_ptr<const ScanResult> ScanState::finish(SourceKind kind, const std::string& folder) {
    auto result = std::make_shared<ScanResult>();
    result->kind = kind;
    result->folder = folder;
    result->stopped = stopRequested();
    result->problems = std::move(problems);
    result->account = currentNodeInfo;

    for (uint32_t i = 0; i < wpChatArray.size(); ++i) {
        if (wpChatArray[i].chatID == kStarredChatID || wpChatArray[i].bStarredMessage) {
            result->starredMessages.push_back(i);
        }
    }
    result->chatOrder = groupedByChat(wpChatArray);
    result->WhatsAppChatArray = std::move(wpChatArray);
    const std::vector<KTWhatsAppNode>& messages = result->WhatsAppChatArray;
    std::unordered_map<int32_t, MessageSpan> spans;
    for (uint32_t at = 0; at < result->chatOrder.size(); ++at) {
        const int32_t chat = messages[result->chatOrder[at]].chatID;
        MessageSpan& span = spans.try_emplace(chat, MessageSpan{at, 0}).first->second;
        ++span.count;
    }
    for (KTWhatsAppCovNode& conversation : wpConvChatArray) {
        if (auto found = spans.find(conversation.chatID); found != spans.end()) {
            conversation.appNodeArray = found->second;
        }
    }
    result->WhatsAppConvChatArray = std::move(wpConvChatArray);
    result->WhatsAppResourceArray = std::move(wpAttachArray);
    result->WhatsAppMediaArray = std::move(index.wpMediaArray);
    result->WhatsAppCallArray = std::move(wpCallArray);
    result->WhatsAppContactArray = std::move(contactArray);
    result->WhatsAppFacContactArray = std::move(whatsAppFavContactArray);
    intake.moveInto(*result);

    result->index = std::move(index);
    result->currentScanPath = currentScanPath;
    result->fullTimelinPath = fullTimelinPath;
    result->tempfilePath = tempfilePath;
    result->unpackFolder = std::move(unpackFolder);
    result->indexMediaTimes();
    result->texts = std::move(texts);  // last: the records point into it, and it moves whole
    return result;
}

}  // namespace vessamo
