#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string_view>
#include <vector>

#include "common/SqliteDatabase.h"
#include "common/Text.h"
#include "common/Worker.h"

namespace vessamo {

// One row of the message statement, each column as the readers take it
// (absent when NULL or empty). Texts lie in the batch that holds the row.
struct MessageRow {
    std::optional<int64_t> seconds;
    std::optional<int32_t> chatSession;
    std::optional<int32_t> messageType;
    std::optional<int32_t> groupMember;
    std::optional<int32_t> starred;
    std::optional<int32_t> isFromMe;
    std::optional<int32_t> groupEventType;
    std::optional<std::string_view> pushName;
    std::optional<std::string_view> fromJid;
    std::optional<std::string_view> text;
    std::optional<std::string_view> toJid;
    std::optional<std::string_view> mediaLocalPath;
    std::optional<std::string_view> vcardName;
    std::optional<std::string_view> vcardString;
    std::optional<std::string_view> thumbnailLocalPath;
    std::optional<std::string_view> xmppThumbPath;
    std::optional<std::string_view> latitude;
    std::optional<std::string_view> longitude;
    std::optional<std::string_view> stanzaId;
    std::optional<std::string_view> quotedStanzaId;  // a reply's quoted message
};

// Rows handed over together, with the bytes of their texts: a few blocks per
// batch instead of an allocation per text.
struct MessageBatch {
    TextStore bytes;
    std::vector<MessageRow> rows;
};

// Steps the message statement on a worker of its own and hands the rows
// over in order, a batch at a time, so SQLite's work and the making of
// records overlap on two cores. At most a few batches wait; the rows stay
// in database order.
class MessageRowSource {
public:
    MessageRowSource() = default;
    ~MessageRowSource() { cancel(); }
    MessageRowSource(const MessageRowSource&) = delete;
    MessageRowSource& operator=(const MessageRowSource&) = delete;

    // SQLite's code for preparing the statement; nothing is read unless it is
    // SQLITE_OK. The database must outlive the source.
    [[nodiscard]] int start(const SqliteDatabase& db, const char* statement);
    // The next rows; none once every row was handed over.
    [[nodiscard]] MessageBatch nextBatch();
    // Once nextBatch gave no rows: SQLITE_DONE when every row was read, else
    // the code the statement stopped with.
    [[nodiscard]] int endCode() const;
    // Stops reading ahead; rows not yet taken are dropped.
    void cancel();

private:
    void produce(std::stop_token stop);
    [[nodiscard]] bool push(MessageBatch batch, const std::stop_token& stop);

    SqliteStatement query_;
    mutable std::mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<MessageBatch> ready_;
    bool finished_ = false;
    int endCode_ = SQLITE_DONE;
    Worker producer_;  // last: it goes first, while what it uses is still there
};

}  // namespace vessamo
