#include "carving/DeletedMessageCarver.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "carving/CarverPatterns.h"
#include "carving/CarvingPrimitives.h"
#include "carving/RecordFieldReader.h"
#include "common/AppleTime.h"
#include "common/TextConversion.h"
#include "common/WhatsAppIds.h"

namespace vessamo {

namespace {

// What a record of each shape looks like from the serial type of column 1
// (p). Actions, one per header position from 1: '.' read past, 'c' chat,
// 'd' date, 'f' sender, 'n' push name, 't' text, 'o' recipient. A text of
// 58 bytes or more takes a two-byte serial type, which shifts everything
// after it by one header byte; the extra actions cover the shifted tail.
struct RecordLayout {
    uint64_t textTypeOffset;  // from p
    int64_t headerLength;     // from p - 1, with one-byte serial types only
    std::string_view actions;
    std::string_view shiftedTail;
    bool numberFromSender;  // received rows name the other party in the sender column
};

constexpr RecordLayout kEighteenColumns{15, 18, ".......c...dfn.to", "o.", true};
constexpr RecordLayout kTwentyColumns{17, 20, ".........c...dfn.to", "o", true};
// The wide table's text is column 32, so its serial type sits at p + 31.
// Looking two bytes further, at the first content byte, would never see a
// two-byte text type and would garble every long message.
constexpr RecordLayout kWideColumns{31, 34, "..................c.....d....n.t", "", false};

// The room a reader needs around a page: the header-length byte sits two
// bytes before p, and the wide pattern is five bytes long.
constexpr size_t kBytesBefore = 2;
constexpr size_t kBytesAfter = 8;
constexpr uint64_t kBlockBytes = uint64_t{1} << 20;

// One column's output, zeroed before every read. Only what the last read
// could have written is cleared, so a page-sized buffer stays cheap when
// a page holds many records.
class FieldBuffer {
public:
    explicit FieldBuffer(size_t size) : bytes_(size, 0) {}

    std::span<uint8_t> fresh() {
        std::fill_n(bytes_.begin(), dirty_, uint8_t{0});
        dirty_ = 0;
        return bytes_;
    }
    // A number is written as text of at most 21 bytes; raw content as its length.
    void wrote(int64_t contentLength) {
        constexpr int64_t kLongestNumberText = 32;
        const auto written = static_cast<size_t>(std::max(contentLength, kLongestNumberText));
        dirty_ = std::min(bytes_.size(), written);
    }
    [[nodiscard]] std::string_view text() const {
        const auto* begin = reinterpret_cast<const char*>(bytes_.data());
        return {begin, strnlen(begin, bytes_.size())};
    }

private:
    std::vector<uint8_t> bytes_;
    size_t dirty_ = 0;
};

// Leading decimal digits, as a stored number shown as text reads back;
// anything after them is ignored and out-of-range values saturate.
int64_t leadingDecimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        ++i;
    }
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (value > (kMax - digit) / 10) {
            return negative ? std::numeric_limits<int64_t>::min() : kMax;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

int32_t chatNumber(std::string_view text) {
    const int64_t value = leadingDecimal(text);
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// A column's text as GetStringFormChar reads it, without the copy: absent,
// empty or malformed text is one blank.
bool isReadable(std::string_view bytes) {
    return !bytes.empty() && isValidUtf8(bytes);
}
std::string_view readable(std::string_view bytes) {
    return isReadable(bytes) ? bytes : std::string_view(" ");
}

// The same reading, put in the store: bodies are kept as they come, names
// interned because every message of a chat repeats them.
Text storedText(TextStore& texts, std::string_view bytes, bool repeats) {
    if (!isReadable(bytes)) {
        return " ";
    }
    return repeats ? texts.intern(bytes) : texts.keep(bytes);
}

// What one record decode needs besides the file: the column buffer and the
// two addresses, reused from record to record so a decode allocates
// nothing of its own.
struct RecordDecoder {
    RecordDecoder(TextStore& store, size_t pageSize) : texts(store), buffer(pageSize) {}

    TextStore& texts;
    FieldBuffer buffer;
    std::string sender;
    std::string recipient;
    bool haveRecipient = false;

    void apply(char action, std::string_view field, KTWhatsAppNode& message) {
        switch (action) {
            case 'c':
                message.chatID = chatNumber(field);
                break;
            case 'd':
                message.messageDate = AppleTime{leadingDecimal(field)};
                break;
            case 'f':
                sender.assign(readable(field));
                break;
            case 'n':
                message.messageType = field.empty() ? Direction::Send : Direction::Receive;
                if (!field.empty()) {
                    message.messageName = storedText(texts, field, true);
                }
                break;
            case 't':
                message.messageContent = storedText(texts, field, false);
                break;
            case 'o':
                if (message.messageType == Direction::Send) {
                    recipient.assign(readable(field));
                    haveRecipient = true;
                }
                break;
            default:
                break;
        }
    }

    // Received rows of the older tables name the other party in the sender
    // column, sent ones in the recipient column; the wide table names
    // nobody.
    void applyAddress(const RecordLayout& layout, KTWhatsAppNode& message) {
        const bool sent = message.messageType == Direction::Send;
        const std::string* address = nullptr;
        if (layout.numberFromSender && message.messageType == Direction::Receive) {
            address = &sender;
        } else if (sent && haveRecipient) {
            address = &recipient;
        }
        if (address != nullptr) {
            message.messageNumb = texts.intern(numberOfAddress(*address, sent));
        }
    }
};

// Reads the record whose column-1 serial type sits at p, column by column,
// exactly as the layout says: every column moves the content cursor,
// whether or not its value is kept.
KTWhatsAppNode decodeRecord(const CarvingFile& file, const RecordLayout& layout, uint64_t p,
                            RecordDecoder& decoder) {
    const bool twoByteText = IsTextPropertFiled(&file, p + layout.textTypeOffset);
    const int64_t headerLength = layout.headerLength + (twoByteText ? 1 : 0);
    const int textPosition = static_cast<int>(layout.actions.find('t')) + 1;
    const uint64_t base = p - 1;
    const size_t positions = layout.actions.size() + (twoByteText ? layout.shiftedTail.size() : 0);
    int64_t dataOffset = 0;
    KTWhatsAppNode message;
    decoder.haveRecipient = false;
    for (size_t i = 0; i < positions; ++i) {
        const int position = static_cast<int>(i) + 1;
        const char action = i < layout.actions.size()
                                ? layout.actions[i]
                                : layout.shiftedTail[i - layout.actions.size()];
        if (action == '.') {
            skipColumn(file, position, dataOffset, base, headerLength);
            continue;
        }
        const std::span<uint8_t> out = decoder.buffer.fresh();
        const int64_t before = dataOffset;
        const bool read =
            twoByteText && position == textPosition
                ? AnalyseAlterbleDB(&file, position, dataOffset, base, headerLength, out)
                : AnalyseDBDataFile(&file, position, dataOffset, base, headerLength, out);
        if (read) {
            decoder.buffer.wrote(dataOffset - before);
        }
        std::string_view field = decoder.buffer.text();
        // SQLite stores the integer 1 as a bare serial type with no content,
        // which the field reader reports as nothing. Read that way, every
        // message of chat 1 would land in chat 0.
        if (!read && (action == 'c' || action == 'd')) {
            uint8_t serialType = 0;
            file.readAt(base + static_cast<uint64_t>(position), &serialType, 1);
            if (serialType == 9) {
                field = "1";
            }
        }
        decoder.apply(action, field, message);
    }
    decoder.applyAddress(layout, message);
    message.bDeleted = true;
    message.whatsAppcontactPath = std::nullopt;  // the stage looks pictures up
    return message;
}

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

const RecordLayout* layoutAt(const uint8_t* bytes, uint8_t lengthByte, CarverVariant variant) {
    const bool pattern = matchesMessagePattern(bytes);
    if (pattern && (lengthByte == 0x13 || lengthByte == 0x14)) {
        return &kEighteenColumns;
    }
    if (pattern && (lengthByte == 0x15 || lengthByte == 0x16)) {
        return &kTwentyColumns;
    }
    if (variant == CarverVariant::Backup &&
        ((pattern && (lengthByte == 0x20 || lengthByte == 0x21)) ||
         matchesWideMessagePattern(bytes))) {
        return &kWideColumns;
    }
    return nullptr;
}

CarvedRecord::Delivery deliveryOf(const RecordLayout* layout, CarverVariant variant) {
    if (variant == CarverVariant::ICloud) {
        return layout == &kEighteenColumns ? CarvedRecord::Delivery::PostAndAppend
                                           : CarvedRecord::Delivery::Append;
    }
    return layout == &kWideColumns ? CarvedRecord::Delivery::Append : CarvedRecord::Delivery::Post;
}

// One byte scan: what the pages are read for and where records go.
struct PageScan {
    const CarvingFile& file;
    CarverVariant variant;
    const std::stop_token& stop;
    const std::function<void(CarvedRecord)>& deliver;
    RecordDecoder decoder;

    // Only backups are stopped mid-carve; the iCloud stage always ran to the end.
    [[nodiscard]] bool stopRequested() const {
        return variant == CarverVariant::Backup && stop.stop_requested();
    }
};

void carveAt(PageScan& scan, const RecordLayout& layout, uint64_t p, const uint8_t* bytes) {
    KTWhatsAppNode message = decodeRecord(scan.file, layout, p, scan.decoder);
    // The wide pattern alone is weak evidence; a row without a chat is noise.
    const bool wideByPattern = &layout == &kWideColumns && matchesWideMessagePattern(bytes);
    if (!message.messageContent.empty() && !(wideByPattern && message.chatID < 1)) {
        scan.deliver(CarvedRecord{message, deliveryOf(&layout, scan.variant)});
    }
}

// Every byte of the page is a possible column-1 serial type. All patterns
// start with 0x01, so only those bytes are looked at closely. Records may
// overlap: the scan goes on one byte after each find. page starts
// kBytesBefore bytes ahead of the page itself. False when stopped.
bool carvePage(PageScan& scan, uint64_t start, uint32_t pageSize, const uint8_t* page) {
    const uint8_t* bytes = page + kBytesBefore;
    for (size_t i = 0; i < pageSize; ++i) {
        const void* next = std::memchr(bytes + i, 0x01, pageSize - i);
        if (next == nullptr) {
            break;
        }
        i = static_cast<size_t>(static_cast<const uint8_t*>(next) - bytes);
        // page[i] is the length byte two before p: start is at least one
        // page into the file, so it is always a real byte of it.
        const RecordLayout* layout = layoutAt(bytes + i, page[i], scan.variant);
        if (layout == nullptr) {
            continue;
        }
        if (i > 0 && scan.stopRequested()) {
            return false;  // set while the positions before this one were scanned
        }
        carveAt(scan, *layout, start + i, bytes + i);
        if (scan.stopRequested()) {
            return false;
        }
    }
    return !scan.stopRequested();
}

}  // namespace

DeletedMessageCarver::DeletedMessageCarver(CarverVariant variant, TextStore& texts,
                                           std::stop_token stop)
    : variant_(variant), texts_(texts), stop_(std::move(stop)) {}

bool DeletedMessageCarver::carve(const CarvingFile& file,
                                 const std::function<void(CarvedRecord)>& deliver) {
    const uint32_t pageSize = readPageSize(&file);
    const uint64_t pages = pageCount(file.size(), pageSize);
    if (pages < 2) {
        return true;  // the first page holds the schema, never messages
    }
    PageBlocks blocks(file, pageSize, pages);
    PageScan scan{file, variant_, stop_, deliver, RecordDecoder(texts_, pageSize)};
    for (uint64_t index = 1; index < pages; ++index) {
        const uint64_t start = index * pageSize;
        const uint8_t* page = blocks.page(start);
        if (isCandidatePage(blocks, start, page) && !carvePage(scan, start, pageSize, page)) {
            return false;
        }
    }
    return true;
}

}  // namespace vessamo
