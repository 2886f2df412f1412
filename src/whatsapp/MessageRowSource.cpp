#include "whatsapp/MessageRowSource.h"

#include "whatsapp/ColumnValues.h"

namespace vessamo {

namespace {

constexpr size_t kBatchRows = 256;
constexpr size_t kBatchesAhead = 4;

MessageRow rowOf(const SqliteStatement& row) {
    MessageRow out;
    out.chatSession = intValue(row, 0);
    out.seconds = wholeSeconds(row, 1);
    out.pushName = textValue(row, 2);
    out.messageType = intValue(row, 3);
    out.fromJid = textValue(row, 4);
    out.text = textValue(row, 5);
    out.toJid = textValue(row, 6);
    out.groupMember = intValue(row, 7);
    out.mediaLocalPath = textValue(row, 8);
    out.vcardName = textValue(row, 9);
    out.vcardString = textValue(row, 10);
    out.thumbnailLocalPath = textValue(row, 11);
    out.xmppThumbPath = textValue(row, 12);
    out.latitude = textValue(row, 13);
    out.longitude = textValue(row, 14);
    // Sources whose statement stops at the location have neither column.
    if (row.columnCount() > 16) {
        out.starred = intValue(row, 15);
        out.isFromMe = intValue(row, 16);
    }
    return out;
}

}  // namespace

MessageRowSource::~MessageRowSource() {
    cancel();
}

bool MessageRowSource::start(const SqliteDatabase& db, const char* statement) {
    if (query_.prepare(db, statement) != SQLITE_OK) {
        return false;
    }
    producer_ = std::thread([this] { produce(); });
    return true;
}

void MessageRowSource::produce() {
    std::vector<MessageRow> batch;
    batch.reserve(kBatchRows);
    while (!cancelled_.load() && query_.step() == SQLITE_ROW) {
        batch.push_back(rowOf(query_));
        if (batch.size() == kBatchRows) {
            push(std::move(batch));
            batch = {};
            batch.reserve(kBatchRows);
        }
    }
    if (!batch.empty()) {
        push(std::move(batch));
    }
    std::lock_guard lock(mutex_);
    finished_ = true;
    changed_.notify_all();
}

void MessageRowSource::push(std::vector<MessageRow> batch) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return ready_.size() < kBatchesAhead || cancelled_.load(); });
    if (!cancelled_.load()) {
        ready_.push_back(std::move(batch));
        changed_.notify_all();
    }
}

std::vector<MessageRow> MessageRowSource::nextBatch() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !ready_.empty() || finished_; });
    if (ready_.empty()) {
        return {};
    }
    std::vector<MessageRow> batch = std::move(ready_.front());
    ready_.pop_front();
    changed_.notify_all();
    return batch;
}

void MessageRowSource::cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        changed_.notify_all();
    }
    if (producer_.joinable()) {
        producer_.join();
    }
    query_.finalize();
}

}  // namespace vessamo
