#include "backup/ScanState.h"

#include <algorithm>
#include <unordered_map>

#include "backup/BackupFileLocator.h"
#include "common/DatabaseCopy.h"
#include "common/SystemLog.h"

namespace vessamo {

namespace {

// Where each message goes when the list is grouped by conversation: chats
// in key order, each chat's messages in the order they came (row order,
// then recovered ones).
std::vector<uint32_t> groupedPositions(const std::vector<KTWhatsAppNode>& messages) {
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
    std::vector<uint32_t> positions(messages.size());
    for (size_t i = 0; i < messages.size(); ++i) {
        positions[i] = next[messages[i].chatID]++;
    }
    return positions;
}

// Moves every element to its new position in place, following each cycle
// of the permutation once: no second copy of a list that may hold millions.
void applyPositions(std::vector<KTWhatsAppNode>& messages, std::vector<uint32_t> positions) {
    for (uint32_t i = 0; i < positions.size(); ++i) {
        while (positions[i] != i) {
            const uint32_t to = positions[i];
            std::swap(messages[i], messages[to]);
            std::swap(positions[i], positions[to]);
        }
    }
}

}  // namespace

void ScanState::note(std::string_view stage, const Status& status) {
    if (status.ok()) {
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
        auto made = makeFoldedCopy(*scratch_, source, wal.value_or(std::string()));
        copy = made ? StatusOr<std::string>(*made)
                    : StatusOr<std::string>(Status::ioError("cannot copy " + source));
    }
    copies_.emplace_back(source, copy);
    return copy;
}

std::shared_ptr<const ScanResult> ScanState::finish(SourceKind kind, const std::string& folder) {
    auto result = std::make_shared<ScanResult>();
    result->kind = kind;
    result->folder = folder;
    result->stopped = stopRequested();
    result->problems = std::move(problems);
    result->account = currentNodeInfo;

    std::vector<uint32_t> positions = groupedPositions(wpChatArray);
    for (size_t i = 0; i < wpChatArray.size(); ++i) {
        if (wpChatArray[i].chatID == kStarredChatID || wpChatArray[i].bStarredMessage) {
            result->starredMessages.push_back(positions[i]);
        }
    }
    applyPositions(wpChatArray, std::move(positions));
    result->WhatsAppChatArray = std::move(wpChatArray);
    const std::vector<KTWhatsAppNode>& messages = result->WhatsAppChatArray;
    std::unordered_map<int32_t, MessageSpan> spans;
    for (uint32_t at = 0; at < messages.size(); ++at) {
        MessageSpan& span = spans.try_emplace(messages[at].chatID, MessageSpan{at, 0}).first->second;
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
