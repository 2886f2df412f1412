#include "carving/DeletedMessageCarver.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "carving/CarverPatterns.h"
#include "carving/CarvingPrimitives.h"
#include "carving/SerialRecord.h"
#include "common/AppleTime.h"
#include "common/WhatsAppIds.h"

namespace vessamo {

namespace {

// The message tables of successive WhatsApp versions, by the position of
// each column recovery reads.
constexpr MessageColumns kEighteenColumns{.count = 18,
                                          .fromMe = 3,
                                          .status = 4,
                                          .chat = 8,
                                          .groupMember = 9,
                                          .media = 10,
                                          .date = 12,
                                          .fromJid = 13,
                                          .pushName = 14,
                                          .stanza = 15,
                                          .text = 16,
                                          .toJid = 17};
constexpr MessageColumns kTwentyColumns{.count = 20,
                                        .fromMe = 5,
                                        .status = 6,
                                        .chat = 10,
                                        .groupMember = 11,
                                        .media = 12,
                                        .date = 14,
                                        .fromJid = 15,
                                        .pushName = 16,
                                        .stanza = 17,
                                        .text = 18,
                                        .toJid = 19};
// The current table: ZPUSHNAME holds encoded metadata, not a name.
constexpr MessageColumns kWideColumns{.count = 34,
                                      .fromMe = 12,
                                      .status = 14,
                                      .chat = 19,
                                      .groupMember = 20,
                                      .media = 22,
                                      .date = 25,
                                      .fromJid = 27,
                                      .stanza = 31,
                                      .text = 32,
                                      .toJid = 33};

// The room a reader needs around a page: the header-length byte sits two
// bytes before p, and the wide pattern is five bytes long.
constexpr size_t kBytesBefore = 2;
constexpr size_t kBytesAfter = 8;
constexpr uint64_t kBlockBytes = uint64_t{1} << 20;

// Pages are read a block at a time, each with a few bytes of its
// neighbours on both sides, so the byte scan never goes back to the file.
class PageBlocks {
public:
    PageBlocks(const CarvingFile& file, uint32_t pageSize, uint64_t pages)
        : file_(file),
          pageSize_(pageSize),
          pagesPerBlock_(std::clamp<uint64_t>(kBlockBytes / pageSize, 1, pages)),
          bytes_(pagesPerBlock_ * pageSize + kBytesBefore + kBytesAfter) {}

    // The page at start, from kBytesBefore bytes ahead of it. start >= one page.
    const uint8_t* page(uint64_t start) {
        if (!loaded_ || start < blockStart_ || start - blockStart_ >= pagesPerBlock_ * pageSize_) {
            blockStart_ = start;
            loaded_ = true;
            file_.readAt(start - kBytesBefore, bytes_.data(), bytes_.size());
        }
        return bytes_.data() + (start - blockStart_);
    }
    // Any bytes of the file, from the block when it holds them.
    void read(uint64_t offset, uint8_t* out, size_t n) const {
        const uint64_t first = blockStart_ - kBytesBefore;
        if (loaded_ && offset >= first && offset - first <= bytes_.size() - n) {
            std::memcpy(out, bytes_.data() + (offset - first), n);
            return;
        }
        file_.readAt(offset, out, n);
    }

private:
    const CarvingFile& file_;
    uint64_t pageSize_;
    uint64_t pagesPerBlock_;
    std::vector<uint8_t> bytes_;
    uint64_t blockStart_ = 0;
    bool loaded_ = false;
};

// A page is worth a byte scan when one of its first three cells starts
// like a message record. Table leaves, interior pages and zeroed pages
// qualify; a freed leaf keeps its old cell pointers.
bool isCandidatePage(const PageBlocks& blocks, uint64_t start, const uint8_t* page) {
    const uint8_t flag = page[kBytesBefore];
    if (flag != 0x0d && flag != 0x05 && flag != 0x00) {
        return false;
    }
    for (size_t cell = 0; cell < 3; ++cell) {
        const uint64_t pointer =
            readBigEndian(page, static_cast<int>(kBytesBefore + 8 + 2 * cell), 2);
        std::array<uint8_t, kCellProbeBytes> probe{};
        blocks.read(start + pointer + 4, probe.data(), probe.size());
        if (cellProbeHoldsPattern(probe)) {
            return true;
        }
    }
    return false;
}

const MessageColumns* tableOfCount(size_t columns) {
    for (const MessageColumns* table : {&kEighteenColumns, &kTwentyColumns, &kWideColumns}) {
        if (table->count == columns) {
            return table;
        }
    }
    return nullptr;
}

// Which table a record at p belongs to. The database says so when the
// caller read it; otherwise the header-length byte tells, when a freed
// cell's first bytes were not overwritten, and the wide table's run of
// zero counters gives its rows away in any case.
const MessageColumns* tableAt(const uint8_t* bytes, uint8_t lengthByte,
                              const std::optional<size_t>& knownColumns) {
    const bool pattern = matchesMessagePattern(bytes);
    if (knownColumns) {
        const MessageColumns* table = tableOfCount(*knownColumns);
        return table != nullptr &&
                       (pattern || (table == &kWideColumns && matchesWideMessagePattern(bytes)))
                   ? table
                   : nullptr;
    }
    if (pattern && (lengthByte == 0x13 || lengthByte == 0x14)) {
        return &kEighteenColumns;
    }
    if (pattern && (lengthByte == 0x15 || lengthByte == 0x16)) {
        return &kTwentyColumns;
    }
    if ((pattern && lengthByte >= 0x20 && lengthByte <= 0x24) || matchesWideMessagePattern(bytes)) {
        return &kWideColumns;
    }
    return nullptr;
}

CarvedRecord::Delivery deliveryOf(const MessageColumns* table, CarverVariant variant) {
    if (variant == CarverVariant::ICloud) {
        return table == &kEighteenColumns ? CarvedRecord::Delivery::PostAndAppend
                                          : CarvedRecord::Delivery::Append;
    }
    return table == &kWideColumns ? CarvedRecord::Delivery::Append : CarvedRecord::Delivery::Post;
}

// What the byte scan of one page knows about it.
struct PageFacts {
    uint64_t start = 0;
    std::span<const uint8_t> bytes;  // the page, pageSize bytes
    bool onFreelist = false;
    PageCells cells;
};

// The free region a record starting at offset must end in: its freeblock,
// or the gap up to the next live cell; a free page is free to its end.
RecordOrigin originOf(const PageFacts& page, size_t offset) {
    if (page.onFreelist) {
        return RecordOrigin::FreelistPage;
    }
    if (page.bytes[0] == 0x05) {
        return RecordOrigin::InteriorPage;
    }
    return page.cells.insideFreeblock(offset) ? RecordOrigin::Freeblock : RecordOrigin::Unallocated;
}

// One byte scan: what the pages are read for and where records go.
struct PageScan {
    CarverVariant variant;
    const std::stop_token& stop;
    const std::function<void(CarvedRecord)>& deliver;
    TextStore& texts;
    const CarveContext& context;
    std::array<size_t, kRejectionKinds>& rejections;

    // Only backups are stopped mid-carve; the iCloud stage always ran to the end.
    [[nodiscard]] bool stopRequested() const {
        return variant == CarverVariant::Backup && stop.stop_requested();
    }
    void reject(Rejection why) { ++rejections[static_cast<size_t>(why)]; }
};

Text textOf(TextStore& texts, std::span<const uint8_t> bytes, const SerialRecord& record,
            int column, bool repeats) {
    if (column < 0 || !record.fields[static_cast<size_t>(column)].isText()) {
        return Text();
    }
    const std::string_view text = record.text(bytes, static_cast<size_t>(column));
    return repeats ? texts.intern(text) : texts.keep(text);
}

}  // namespace

// Received rows of a one-to-one chat are by the address in the sender
// column; in a group that column names the group and the member column the
// author, which the caller resolves; sent rows are the owner's.
CarvedRecord carvedMessageOf(TextStore& texts, std::span<const uint8_t> bytes,
                             const SerialRecord& record, const MessageColumns& table) {
    CarvedRecord carved{};
    KTWhatsAppNode& message = carved.message;
    message.chatID = static_cast<int32_t>(record.integer(bytes, static_cast<size_t>(table.chat)));
    message.messageDate =
        AppleTime{static_cast<int64_t>(record.real(bytes, static_cast<size_t>(table.date)))};
    const bool sent = record.integer(bytes, static_cast<size_t>(table.fromMe)) == 1;
    message.messageType = sent ? Direction::Send : Direction::Receive;
    message.messageContent = textOf(texts, bytes, record, table.text, false);
    carved.fromJid = textOf(texts, bytes, record, table.fromJid, true);
    carved.toJid = textOf(texts, bytes, record, table.toJid, true);
    carved.stanzaId = textOf(texts, bytes, record, table.stanza, false);
    message.stanzaId = carved.stanzaId;
    if (table.groupMember >= 0 &&
        record.fields[static_cast<size_t>(table.groupMember)].isInteger()) {
        carved.groupMember = record.integer(bytes, static_cast<size_t>(table.groupMember));
    }
    if (!sent) {
        message.messageName = textOf(texts, bytes, record, table.pushName, true);
        if (looksLikeEncodedBlob(message.messageName)) {
            message.messageName = Text();  // metadata, not a name
        }
        if (isPersonJid(carved.fromJid)) {
            message.messageNumb = texts.intern(numberOfAddress(carved.fromJid, false));
        }
    }
    const auto media =
        table.media >= 0 && record.fields[static_cast<size_t>(table.media)].isInteger()
            ? record.integer(bytes, static_cast<size_t>(table.media))
            : 0;
    message.isHaveAttch = media >= 1;
    // The kind says what a media message carried even when its media row
    // went with it: a photo lost, not just "an attachment".
    if (table.kind >= 0 && record.fields[static_cast<size_t>(table.kind)].isInteger()) {
        const int64_t kind = record.integer(bytes, static_cast<size_t>(table.kind));
        message.attchType = kind >= 0 && kind < 100 ? static_cast<int>(kind) : message.attchType;
    }
    message.bDeleted = true;
    message.whatsAppcontactPath = std::nullopt;  // the stage looks pictures up
    return carved;
}

namespace {

// Decodes and checks the record whose column-1 serial type is at offset i
// of the page, and delivers it when it is a deleted message.
void carveAt(PageScan& scan, const PageFacts& page, const MessageColumns& table, size_t i) {
    if (!page.onFreelist && page.cells.insideLiveCell(i)) {
        scan.reject(Rejection::LiveRow);
        return;
    }
    const size_t end =
        page.onFreelist ? page.bytes.size() : page.cells.freeRegionEnd(i, page.bytes.size());
    const auto record = parseSerialRecord(page.bytes.first(end), i - 1, table.count, true, false);
    if (!record) {
        return;  // no record of this table fits here
    }
    bool deletedChat = false;
    const Rejection why = checkMessage(page.bytes, *record, table, scan.context, deletedChat);
    if (why != Rejection::None) {
        scan.reject(why);
        return;
    }
    CarvedRecord carved = carvedMessageOf(scan.texts, page.bytes, *record, table);
    carved.delivery = deliveryOf(&table, scan.variant);
    carved.origin = originOf(page, i);
    carved.deletedChat = deletedChat;
    scan.deliver(std::move(carved));
}

// Every byte of the page is a possible column-1 serial type. All patterns
// start with 0x01, so only those bytes are looked at closely. Records may
// overlap: the scan goes on one byte after each find. withBefore starts
// kBytesBefore bytes ahead of the page itself. False when stopped.
bool carvePage(PageScan& scan, const PageFacts& page, const uint8_t* withBefore) {
    const uint8_t* bytes = page.bytes.data();
    const size_t pageSize = page.bytes.size();
    for (size_t i = 1; i < pageSize; ++i) {
        const void* next = std::memchr(bytes + i, 0x01, pageSize - i);
        if (next == nullptr) {
            break;
        }
        i = static_cast<size_t>(static_cast<const uint8_t*>(next) - bytes);
        const MessageColumns* table =
            tableAt(bytes + i, withBefore[i], scan.context.messageColumnCount);
        if (table == nullptr) {
            continue;
        }
        if (scan.stopRequested()) {
            return false;
        }
        carveAt(scan, page, *table, i);
    }
    return !scan.stopRequested();
}

size_t usableSize(const CarvingFile& file, uint32_t pageSize) {
    uint8_t reserved = 0;
    file.readAt(20, &reserved, 1);
    return pageSize > reserved ? pageSize - reserved : pageSize;
}

}  // namespace

DeletedMessageCarver::DeletedMessageCarver(CarverVariant variant, TextStore& texts,
                                           std::stop_token stop, CarveContext context)
    : variant_(variant), texts_(texts), stop_(std::move(stop)), context_(std::move(context)) {}

bool DeletedMessageCarver::carve(const CarvingFile& file,
                                 const std::function<void(CarvedRecord)>& deliver) {
    rejections_ = {};
    const uint32_t pageSize = readPageSize(&file);
    const uint64_t pages = pageCount(file.size(), pageSize);
    if (pages < 2) {
        return true;  // the first page holds the schema, never messages
    }
    const std::unordered_set<uint64_t> freelist = freelistPages(file, pageSize, pages);
    const size_t usable = usableSize(file, pageSize);
    PageBlocks blocks(file, pageSize, pages);
    PageScan scan{variant_, stop_, deliver, texts_, context_, rejections_};
    for (uint64_t index = 1; index < pages; ++index) {
        const uint64_t start = index * pageSize;
        const uint8_t* withBefore = blocks.page(start);
        if (!isCandidatePage(blocks, start, withBefore)) {
            continue;
        }
        const std::span<const uint8_t> bytes(withBefore + kBytesBefore, pageSize);
        const bool onFreelist = freelist.contains(index);
        PageFacts page{start, bytes, onFreelist,
                       onFreelist ? PageCells({}, 0) : PageCells(bytes, usable)};
        if (!carvePage(scan, page, withBefore)) {
            return false;
        }
    }
    return true;
}

}  // namespace vessamo
