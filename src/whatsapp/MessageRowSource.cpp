#include "whatsapp/MessageRowSource.h"

#include <utility>

#include "whatsapp/ColumnValues.h"
#include "whatsapp/ReplyMetadata.h"

namespace vessamo {

namespace {

constexpr size_t kBatchRows = 256;
constexpr size_t kBatchesAhead = 4;

MessageBatch freshBatch() {
    MessageBatch batch;
    batch.rows.reserve(kBatchRows);
    return batch;
}

// The message's own stanza id and the one its reply metadata quotes.
void addReplyColumns(const SqliteStatement& row, TextStore& bytes, MessageRow& out) {
    if (auto id = textValue(row, 18)) {
        out.stanzaId = bytes.keep(*id);
    }
    if (auto metadata = blobValue(row, 19)) {
        if (auto quoted = quotedStanzaId(*metadata)) {
            out.quotedStanzaId = bytes.keep(*quoted);
        }
    }
}

void addRow(const SqliteStatement& row, MessageBatch& batch) {
    const auto text = [&](int column) -> std::optional<std::string_view> {
        auto value = textValue(row, column);
        return value ? std::optional<std::string_view>(batch.bytes.keep(*value)) : std::nullopt;
    };
    MessageRow& out = batch.rows.emplace_back();
    out.chatSession = intValue(row, 0);
    out.seconds = wholeSeconds(row, 1);
    out.pushName = text(2);
    out.messageType = intValue(row, 3);
    out.fromJid = text(4);
    out.text = text(5);
    out.toJid = text(6);
    out.groupMember = intValue(row, 7);
    out.mediaLocalPath = text(8);
    out.vcardName = text(9);
    out.vcardString = text(10);
    out.thumbnailLocalPath = text(11);
    out.xmppThumbPath = text(12);
    out.latitude = text(13);
    out.longitude = text(14);
    // Sources without starred messages or ZISFROMME read NULL there.
    if (row.columnCount() > 17) {
        out.starred = intValue(row, 15);
        out.isFromMe = intValue(row, 16);
        out.groupEventType = intValue(row, 17);
    }
    if (row.columnCount() > 19) {
        addReplyColumns(row, batch.bytes, out);
    }
}

}  // namespace

int MessageRowSource::start(const SqliteDatabase& db, const char* statement) {
    const int rc = query_.prepare(db, statement);
    if (rc == SQLITE_OK) {
        (void)producer_.start([this](std::stop_token stop) { produce(std::move(stop)); });
    }
    return rc;
}

void MessageRowSource::produce(std::stop_token stop) {
    MessageBatch batch = freshBatch();
    int rc = SQLITE_DONE;
    while (!stop.stop_requested() && (rc = query_.step()) == SQLITE_ROW) {
        addRow(query_, batch);
        if (batch.rows.size() == kBatchRows) {
            if (!push(std::exchange(batch, freshBatch()), stop)) {
                break;
            }
        }
    }
    if (!batch.rows.empty()) {
        (void)push(std::move(batch), stop);
    }
    std::lock_guard lock(mutex_);
    finished_ = true;
    endCode_ = rc;
    changed_.notify_all();
}

bool MessageRowSource::push(MessageBatch batch, const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait(lock, stop, [this] { return ready_.size() < kBatchesAhead; })) {
        return false;  // cancelled while waiting for room
    }
    ready_.push_back(std::move(batch));
    changed_.notify_all();
    return true;
}

MessageBatch MessageRowSource::nextBatch() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !ready_.empty() || finished_; });
    if (ready_.empty()) {
        return {};
    }
    MessageBatch batch = std::move(ready_.front());
    ready_.pop_front();
    changed_.notify_all();
    return batch;
}

int MessageRowSource::endCode() const {
    std::lock_guard lock(mutex_);
    return endCode_;
}

void MessageRowSource::cancel() {
    producer_.stopAndJoin();
    query_.finalize();
}

}  // namespace vessamo
