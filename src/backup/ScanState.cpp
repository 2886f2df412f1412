#include "backup/ScanState.h"

#include <algorithm>
#include <span>
#include <unordered_map>

#include "backup/BackupFileLocator.h"
#include "common/DatabaseCopy.h"
#include "common/Files.h"
#include "common/SystemLog.h"

namespace vessamo {

namespace {

// Recovered messages of a chat come after its rows in the list; each takes
// its place among them by time, before the first row of a later moment, so
// a chat reads as it was written. The rows keep their order; a message
// without a date stays where it is.
void placeRecoveredByTime(const std::vector<KTWhatsAppNode>& messages, std::span<uint32_t> chat) {
    const auto recovered = std::stable_partition(
        chat.begin(), chat.end(), [&](uint32_t at) { return !messages[at].bDeleted; });
    if (recovered == chat.end()) {
        return;
    }
    std::vector<uint32_t> rows(chat.begin(), recovered);
    std::vector<uint32_t> found(recovered, chat.end());
    // Dateless ones last, where the rows cannot pass them.
    std::stable_sort(found.begin(), found.end(), [&](uint32_t a, uint32_t b) {
        const auto& first = messages[a].messageDate;
        const auto& second = messages[b].messageDate;
        return first && (!second || *first < *second);
    });
    const auto before = [&](uint32_t foundAt, uint32_t rowAt) {
        const auto& date = messages[foundAt].messageDate;
        const auto& rowDate = messages[rowAt].messageDate;
        return date && rowDate && *date < *rowDate;
    };
    size_t row = 0;
    size_t next = 0;
    for (uint32_t& slot : chat) {
        const bool takeFound =
            next < found.size() && (row == rows.size() || before(found[next], rows[row]));
        slot = takeFound ? found[next++] : rows[row++];
    }
}

// The list's positions grouped by conversation: chats in key order, each
// chat's rows in list order with the recovered ones placed by time. A
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
    bool anyRecovered = false;
    for (uint32_t i = 0; i < messages.size(); ++i) {
        if (lastSlot == nullptr || messages[i].chatID != lastChat) {
            lastChat = messages[i].chatID;
            lastSlot = &next[lastChat];
        }
        order[(*lastSlot)++] = i;
        anyRecovered = anyRecovered || messages[i].bDeleted;
    }
    if (anyRecovered) {
        uint32_t start = 0;
        for (const auto& [chat, count] : chats) {
            placeRecoveredByTime(messages, std::span(order).subspan(start, count));
            start += count;
        }
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
