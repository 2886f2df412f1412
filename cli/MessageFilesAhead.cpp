#include "MessageFilesAhead.h"

#include <algorithm>

#include "whatsapp/MessageMediaPath.h"

namespace vessamo::cli {

namespace {

constexpr size_t kBlockMessages = 4096;

}  // namespace

MessageFilesAhead::MessageFilesAhead(const BackupFileIndex& index,
                                     std::span<const KTWhatsAppNode> messages)
    : index_(index), messages_(messages) {
    for (Block& block : blocks_) {
        block.reserve(kBlockMessages);
    }
    (void)worker_.start([this](std::stop_token stop) { produce(stop); });
}

void MessageFilesAhead::produce(const std::stop_token& stop) {
    for (size_t block = 0; block * kBlockMessages < messages_.size(); ++block) {
        {
            // The block the writer reads, and those it has yet to read, stay.
            std::unique_lock lock(mutex_);
            if (!changed_.wait(lock, stop, [&] { return block < finished_ + kBlocks; })) {
                return;  // the writer is gone
            }
        }
        Block& files = blocks_[block % kBlocks];
        files.clear();
        const size_t first = block * kBlockMessages;
        for (const KTWhatsAppNode& message :
             messages_.subspan(first, std::min(kBlockMessages, messages_.size() - first))) {
            files.push_back(resolveMessageFile(message, index_));
        }
        const std::lock_guard lock(mutex_);
        ++filled_;
        changed_.notify_all();
    }
}

std::optional<Text> MessageFilesAhead::next() {
    if (reading_ == nullptr || at_ == reading_->size()) {
        std::unique_lock lock(mutex_);
        if (reading_ != nullptr) {
            ++finished_;
            changed_.notify_all();
        }
        changed_.wait(lock, [this] { return filled_ > finished_; });
        reading_ = &blocks_[finished_ % kBlocks];
        at_ = 0;
    }
    return (*reading_)[at_++];
}

}  // namespace vessamo::cli
