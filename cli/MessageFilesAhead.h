#pragma once

#include <array>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "common/Worker.h"
#include "results/ScanResult.h"

namespace vessamo::cli {

// Resolves the media files of a list of messages on a worker, a block or two
// ahead of whoever writes them: each look-up asks the file system whether
// the file is still there, and those waits then overlap the writing. The
// blocks are made once, here, and filled in turn, so the worker adds no
// memory of its own.
class MessageFilesAhead {
public:
    MessageFilesAhead(const BackupFileIndex& index, std::span<const KTWhatsAppNode> messages);
    MessageFilesAhead(const MessageFilesAhead&) = delete;
    MessageFilesAhead& operator=(const MessageFilesAhead&) = delete;

    // The file of the next message of the list, in order. Called once per
    // message.
    [[nodiscard]] std::optional<Text> next();

private:
    static constexpr size_t kBlocks = 3;
    using Block = std::vector<std::optional<Text>>;

    void produce(const std::stop_token& stop);

    const BackupFileIndex& index_;
    std::span<const KTWhatsAppNode> messages_;
    std::array<Block, kBlocks> blocks_;
    std::mutex mutex_;
    std::condition_variable_any changed_;
    size_t filled_ = 0;    // blocks the worker has filled
    size_t finished_ = 0;  // blocks the writer is done with
    const Block* reading_ = nullptr;
    size_t at_ = 0;
    Worker worker_;  // last: stopped and joined before the rest goes
};

}  // namespace vessamo::cli
