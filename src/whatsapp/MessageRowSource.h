#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/SqliteDatabase.h"

namespace vessamo {

// One row of the message statement, each column as the readers take it
// (absent when NULL or empty).
struct MessageRow {
    std::optional<int32_t> chatSession;
    std::optional<int64_t> seconds;
    std::optional<std::string> pushName;
    std::optional<int32_t> messageType;
    std::optional<std::string> fromJid;
    std::optional<std::string> text;
    std::optional<std::string> toJid;
    std::optional<int32_t> groupMember;
    std::optional<std::string> mediaLocalPath;
    std::optional<std::string> vcardName;
    std::optional<std::string> vcardString;
    std::optional<std::string> thumbnailLocalPath;
    std::optional<std::string> xmppThumbPath;
    std::optional<std::string> latitude;
    std::optional<std::string> longitude;
    std::optional<int32_t> starred;
    std::optional<int32_t> isFromMe;
};

// Steps the message statement on a thread of its own and hands the rows
// over in order, a batch at a time, so SQLite's work and the making of
// records overlap on two cores. At most a few batches wait; the rows stay
// in database order.
class MessageRowSource {
public:
    MessageRowSource() = default;
    ~MessageRowSource();
    MessageRowSource(const MessageRowSource&) = delete;
    MessageRowSource& operator=(const MessageRowSource&) = delete;

    // False, reading nothing, when the statement does not prepare. The
    // database must outlive the source.
    [[nodiscard]] bool start(const SqliteDatabase& db, const char* statement);
    // The next rows; empty once every row was handed over.
    [[nodiscard]] std::vector<MessageRow> nextBatch();
    // Stops reading ahead; rows not yet taken are dropped.
    void cancel();

private:
    void produce();
    void push(std::vector<MessageRow> batch);

    SqliteStatement query_;
    std::thread producer_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<MessageRow>> ready_;
    bool finished_ = false;
    std::atomic<bool> cancelled_{false};
};

}  // namespace vessamo
