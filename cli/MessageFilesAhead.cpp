#include "MessageFilesAhead.h"

#include <algorithm>

#include "whatsapp/MessageMediaPath.h"

namespace vessamo::cli {

namespace {

constexpr size_t kBlockMessages = 4096;
constexpr size_t kBlocksAhead = 2;

}  // namespace

MessageFilesAhead::MessageFilesAhead(const BackupFileIndex& index,
                                     std::span<const KTWhatsAppNode> messages)
    : index_(index), messages_(messages) {
    (void)worker_.start([this](std::stop_token stop) { produce(stop); });
}

void MessageFilesAhead::produce(const std::stop_token& stop) {
    for (size_t first = 0; first < messages_.size(); first += kBlockMessages) {
        Block block;
        block.reserve(kBlockMessages);
        for (const KTWhatsAppNode& message :
             messages_.subspan(first, std::min(kBlockMessages, messages_.size() - first))) {
            block.push_back(resolveMessageFile(message, index_));
        }
        std::unique_lock lock(mutex_);
        if (!changed_.wait(lock, stop, [this] { return ready_.size() < kBlocksAhead; })) {
            return;  // the writer is gone
        }
        ready_.push_back(std::move(block));
        changed_.notify_all();
    }
}

std::optional<Text> MessageFilesAhead::next() {
    if (at_ == current_.size()) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !ready_.empty(); });
        current_ = std::move(ready_.front());
        ready_.pop_front();
        at_ = 0;
        changed_.notify_all();
    }
    return current_[at_++];
}

}  // namespace vessamo::cli
