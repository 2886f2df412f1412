// GCC 12 at -O2 warns that moving into a std::variant of strings and
// containers "may be used uninitialized" (a known false positive of its
// variant analysis); the warning says nothing about this file.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "common/PlistValue.h"

#include <plist/plist.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "common/Files.h"
#include "common/TextConversion.h"

namespace vessamo {

// Owns one libplist node tree and frees it when it goes out of scope.
struct PlistNodeFree {
    void operator()(plist_t node) const {
        if (node != nullptr) {
            plist_free(node);
        }
    }
};
using PlistNode = std::unique_ptr<void, PlistNodeFree>;

// The libplist side of a value: its node tree, and the values only parsing makes.
class PlistNodes {
public:
    [[nodiscard]] static PlistNode of(const PlistValue& value);
    [[nodiscard]] static PlistValue data(PlistValue::Bytes bytes) {
        return PlistValue(
            PlistValue::Storage(std::in_place_type<PlistValue::Bytes>, std::move(bytes)));
    }
};

namespace {

// libplist parses and frees containers recursively, so a list nested a few
// ten thousand levels deep overflows the stack. Backups and keyed archives
// stay within a dozen levels; anything past this is damaged or hostile.
constexpr size_t kMaxNesting = 128;

// Without shared containers a binary list expands to at most one node per
// reference, and every reference takes at least a byte. The slack admits
// writers that share a few containers.
uint64_t maxExpandedNodes(uint64_t listBytes) {
    return 4 * listBytes + 4096;
}

// libplist takes every buffer length as uint32_t.
constexpr uint64_t kMaxListBytes = std::numeric_limits<uint32_t>::max();

struct CFree {
    void operator()(void* memory) const { std::free(memory); }
};
struct BinaryBufferFree {
    void operator()(char* buffer) const { plist_to_bin_free(buffer); }
};
struct XmlBufferFree {
    void operator()(char* buffer) const { plist_to_xml_free(buffer); }
};

// ---------------------------------------------------------------------------
// Screening input before libplist sees it

constexpr std::string_view kBinaryMagic = "bplist00";

bool isBinaryList(std::span<const uint8_t> bytes) {
    return bytes.size() >= kBinaryMagic.size() &&
           std::equal(kBinaryMagic.begin(), kBinaryMagic.end(), bytes.begin());
}

std::span<const uint8_t> withoutByteOrderMark(std::span<const uint8_t> bytes) {
    // Some editors save XML lists with a UTF-8 BOM, which libplist rejects.
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        return bytes.subspan(3);
    }
    return bytes;
}

bool startsLikeXml(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && text[first] == '<';
}

bool opensContainer(std::string_view at) {
    return at.starts_with("<array") || at.starts_with("<dict");
}

bool closesContainer(std::string_view at) {
    return at.starts_with("</array") || at.starts_with("</dict");
}

bool isEmptyElement(std::string_view at) {
    const size_t nameEnd = at.find_first_of(" \t\r\n/><", 1);
    if (nameEnd == std::string_view::npos || at[nameEnd] == '<') {
        return false;
    }
    const size_t close = at.find_first_not_of(" \t\r\n", nameEnd);
    return close != std::string_view::npos && at.substr(close).starts_with("/>");
}

// Errs on the deep side: every opening tag counts wherever it stands, but a
// closing tag counts only in plain markup. Whatever may hide markup from
// libplist (comments, CDATA, processing instructions, declarations, quoted
// values) hides it from this count too, if anything for longer.
class XmlNesting {
public:
    explicit XmlNesting(std::string_view text) : text_(text) {}

    bool within(size_t limit) {
        for (size_t pos = 0; pos < text_.size(); ++pos) {
            const std::string_view at = text_.substr(pos);
            if (at[0] == '<' && opensContainer(at) && !isEmptyElement(at) && ++depth_ > limit) {
                return false;
            }
            pos += step(at);
        }
        return true;
    }

private:
    enum class Where { Markup, Tag, Declaration, Comment, Cdata, Instruction };

    // Returns how many characters after at[0] the scan may skip.
    size_t step(std::string_view at) {
        switch (where_) {
            case Where::Markup:
                return fromMarkup(at);
            case Where::Tag:
            case Where::Declaration:
                insideTag(at[0]);
                return 0;
            case Where::Comment:
                return leaveAt(at, "-->");
            case Where::Cdata:
                return leaveAt(at, "]]>");
            case Where::Instruction:
                return leaveAt(at, "?>");
        }
        return 0;
    }

    size_t fromMarkup(std::string_view at) {
        if (at[0] != '<') {
            return 0;
        }
        constexpr std::string_view kComment = "<!--", kCdata = "<![CDATA[";
        if (at.starts_with(kComment)) {
            where_ = Where::Comment;
            return kComment.size() - 1;
        }
        if (at.starts_with(kCdata)) {
            where_ = Where::Cdata;
            return kCdata.size() - 1;
        }
        if (at.starts_with("<?") || at.starts_with("<!")) {
            where_ = at[1] == '?' ? Where::Instruction : Where::Declaration;
            return 1;
        }
        if (closesContainer(at) && depth_ > 0) {
            --depth_;
        }
        where_ = Where::Tag;
        return 0;
    }

    void insideTag(char c) {
        if (quote_ != 0) {
            quote_ = c == quote_ ? 0 : quote_;
        } else if (c == '"' || c == '\'') {
            quote_ = c;
        } else if (where_ == Where::Declaration && (c == '[' || c == ']')) {
            brackets_ += c == '[' ? 1 : (brackets_ > 0 ? -1 : 0);
        } else if (c == '>' && brackets_ == 0) {
            where_ = Where::Markup;
        }
    }

    size_t leaveAt(std::string_view at, std::string_view end) {
        if (!at.starts_with(end)) {
            return 0;
        }
        where_ = Where::Markup;
        return end.size() - 1;
    }

    std::string_view text_;
    Where where_ = Where::Markup;
    char quote_ = 0;    // inside a quoted value of a tag or declaration
    int brackets_ = 0;  // inside a declaration's internal subset
    size_t depth_ = 0;
};

// Walks the object graph of a binary list without building it. Objects are
// shared by reference, and libplist copies a shared container wherever it is
// referenced, so a few hundred bytes can expand into billions of nodes; the
// walk bounds both that expansion and how deeply containers nest. Each object
// is visited once; a reference cycle counts as too deep. It also turns away
// dictionary keys that libplist 2.2 cannot hand back: one holding U+0000
// trips an assertion (an abort) when the key is read.
class BinaryListShape {
public:
    explicit BinaryListShape(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool acceptable(size_t maxNesting, uint64_t maxNodes);

private:
    struct Object {
        uint8_t kind = 0;     // the high nibble of the marker
        uint64_t length = 0;  // elements, bytes or UTF-16 units, where the kind has one
        uint64_t payload = 0;
    };
    struct Children {
        bool container = false;
        uint64_t firstRef = 0;
        uint64_t count = 0;
        uint64_t keys = 0;  // a dictionary's references start with its keys
    };
    struct Frame {
        uint64_t object = 0;
        Children children;
        uint64_t next = 0;
        uint8_t tallestChild = 0;
        uint64_t nodes = 1;  // in the expanded subtree, this container included
    };
    // Per object: unvisited, on the current path, or 1 + its height, where a
    // container's height counts the container levels from it downwards.
    static constexpr uint8_t kUnvisited = 0;
    static constexpr uint8_t kOnPath = 0xFF;

    bool readTrailer();
    std::optional<uint64_t> bigEndian(uint64_t pos, uint64_t width) const;
    std::optional<Object> objectAt(uint64_t index) const;
    std::optional<Children> childrenOf(uint64_t object) const;
    bool readableKey(uint64_t object);
    std::optional<uint64_t> childAt(const Children& children, uint64_t index) const;
    bool visit(uint64_t child);
    bool finishTop();

    std::span<const uint8_t> bytes_;
    uint64_t offsetWidth_ = 0;
    uint64_t refWidth_ = 0;
    uint64_t objectCount_ = 0;
    uint64_t topObject_ = 0;
    uint64_t offsetTable_ = 0;
    size_t maxNesting_ = 0;
    uint64_t maxNodes_ = 0;
    std::vector<uint8_t> state_;
    std::unordered_map<uint64_t, uint64_t> containerNodes_;
    std::unordered_set<uint64_t> readableKeys_;
    std::vector<Frame> path_;
};

bool BinaryListShape::readTrailer() {
    constexpr uint64_t kTrailerSize = 32;
    if (bytes_.size() < kBinaryMagic.size() + kTrailerSize) {
        return false;
    }
    const uint64_t trailer = bytes_.size() - kTrailerSize;
    offsetWidth_ = bytes_[trailer + 6];
    refWidth_ = bytes_[trailer + 7];
    objectCount_ = bigEndian(trailer + 8, 8).value_or(0);
    topObject_ = bigEndian(trailer + 16, 8).value_or(0);
    offsetTable_ = bigEndian(trailer + 24, 8).value_or(0);
    if (offsetWidth_ < 1 || offsetWidth_ > 8 || refWidth_ < 1 || refWidth_ > 8 ||
        objectCount_ == 0 || topObject_ >= objectCount_ || offsetTable_ > trailer) {
        return false;
    }
    return objectCount_ <= (trailer - offsetTable_) / offsetWidth_;
}

std::optional<uint64_t> BinaryListShape::bigEndian(uint64_t pos, uint64_t width) const {
    if (pos > bytes_.size() || width > bytes_.size() - pos) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (uint64_t i = 0; i < width; ++i) {
        value = (value << 8) | bytes_[pos + i];
    }
    return value;
}

std::optional<BinaryListShape::Object> BinaryListShape::objectAt(uint64_t index) const {
    const auto offset = bigEndian(offsetTable_ + index * offsetWidth_, offsetWidth_);
    if (!offset || *offset >= bytes_.size()) {
        return std::nullopt;
    }
    const uint8_t marker = bytes_[*offset];
    Object object{static_cast<uint8_t>(marker >> 4), marker & 0x0Fu, *offset + 1};
    const bool hasLength = object.kind >= 0x4 && object.kind != 0x8;  // not UIDs
    if (hasLength && object.length == 0x0F) {  // the length follows as an integer object
        const auto intMarker = bigEndian(object.payload, 1);
        if (!intMarker || (*intMarker & 0xF0) != 0x10 || (*intMarker & 0x0F) > 3) {
            return std::nullopt;
        }
        const uint64_t width = uint64_t{1} << (*intMarker & 0x0F);
        const auto stated = bigEndian(object.payload + 1, width);
        if (!stated) {
            return std::nullopt;
        }
        object.length = *stated;
        object.payload += 1 + width;
    }
    return object;
}

std::optional<BinaryListShape::Children> BinaryListShape::childrenOf(uint64_t index) const {
    const auto object = objectAt(index);
    if (!object) {
        return std::nullopt;
    }
    const bool isArrayOrSet = object->kind == 0xA || object->kind == 0xB || object->kind == 0xC;
    const bool isDictionary = object->kind == 0xD;
    if (!isArrayOrSet && !isDictionary) {
        return Children{};  // a scalar
    }
    const uint64_t perEntry = isDictionary ? 2 * refWidth_ : refWidth_;
    if (object->payload > bytes_.size() ||
        object->length > (bytes_.size() - object->payload) / perEntry) {
        return std::nullopt;
    }
    const uint64_t keys = isDictionary ? object->length : 0;
    return Children{true, object->payload, object->length + keys, keys};
}

bool BinaryListShape::readableKey(uint64_t index) {
    if (readableKeys_.contains(index)) {
        return true;
    }
    const auto key = objectAt(index);
    const uint64_t unit = key && key->kind == 0x5 ? 1 : key && key->kind == 0x6 ? 2 : 0;
    if (unit == 0 || key->payload > bytes_.size() ||
        key->length > (bytes_.size() - key->payload) / unit) {
        return false;
    }
    const auto text = bytes_.subspan(key->payload, key->length * unit);
    for (size_t at = 0; at < text.size(); at += unit) {
        if (text[at] == 0 && text[at + unit - 1] == 0) {
            return false;
        }
    }
    readableKeys_.insert(index);
    return true;
}

std::optional<uint64_t> BinaryListShape::childAt(const Children& children, uint64_t index) const {
    const auto ref = bigEndian(children.firstRef + index * refWidth_, refWidth_);
    if (!ref || *ref >= objectCount_) {
        return std::nullopt;
    }
    return ref;
}

bool BinaryListShape::visit(uint64_t child) {
    const uint8_t state = state_[child];
    if (state == kOnPath) {
        return false;
    }
    Frame& parent = path_.back();
    if (state != kUnvisited) {
        const uint8_t height = state - 1;
        const auto shared = containerNodes_.find(child);
        parent.tallestChild = std::max(parent.tallestChild, height);
        parent.nodes += shared != containerNodes_.end() ? shared->second : 1;
        return path_.size() + height <= maxNesting_ && parent.nodes <= maxNodes_;
    }
    const auto children = childrenOf(child);
    if (!children) {
        return false;
    }
    if (!children->container) {
        state_[child] = 1;
        return ++parent.nodes <= maxNodes_;
    }
    if (path_.size() >= maxNesting_) {
        return false;
    }
    state_[child] = kOnPath;
    path_.push_back(Frame{child, *children});
    return true;
}

bool BinaryListShape::finishTop() {
    const Frame done = path_.back();
    path_.pop_back();
    const uint8_t height = done.tallestChild + 1;
    state_[done.object] = height + 1;
    containerNodes_[done.object] = done.nodes;
    if (path_.empty()) {
        return true;
    }
    Frame& parent = path_.back();
    parent.tallestChild = std::max(parent.tallestChild, height);
    parent.nodes += done.nodes;
    return parent.nodes <= maxNodes_;
}

bool BinaryListShape::acceptable(size_t maxNesting, uint64_t maxNodes) {
    static_assert(kMaxNesting + 1 < kOnPath, "heights must fit beside the on-path mark");
    const auto rootChildren = readTrailer() ? childrenOf(topObject_) : std::nullopt;
    if (!rootChildren || maxNesting == 0) {
        return false;
    }
    if (!rootChildren->container) {
        return true;
    }
    maxNesting_ = maxNesting;
    maxNodes_ = maxNodes;
    state_.assign(objectCount_, kUnvisited);
    state_[topObject_] = kOnPath;
    path_.assign(1, Frame{topObject_, *rootChildren});
    while (!path_.empty()) {
        Frame& frame = path_.back();
        if (frame.next == frame.children.count) {
            if (!finishTop()) {
                return false;
            }
            continue;
        }
        const bool isKey = frame.next < frame.children.keys;
        const auto child = childAt(frame.children, frame.next++);
        if (!child || (isKey && !readableKey(*child)) || !visit(*child)) {
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// Dates

// A node holds its date as a double, but plist_get_date_val and
// plist_new_date squeeze it through int32 seconds: dates past 2069 or before
// 1933 break, and the sign of the fraction just before 2001 is lost. A
// one-object binary list carries the double untouched, so dates cross that
// way in both directions.
constexpr uint8_t kDateMarker = 0x33;
constexpr size_t kObjectStart = kBinaryMagic.size();

double dateOf(plist_t node) {
    char* raw = nullptr;
    uint32_t length = 0;
    plist_to_bin(node, &raw, &length);
    const std::unique_ptr<char, BinaryBufferFree> owned(raw);
    if (raw != nullptr && length >= kObjectStart + 9 &&
        static_cast<uint8_t>(raw[kObjectStart]) == kDateMarker) {
        uint64_t bits = 0;
        for (size_t i = 1; i <= 8; ++i) {
            bits = (bits << 8) | static_cast<uint8_t>(raw[kObjectStart + i]);
        }
        return std::bit_cast<double>(bits);
    }
    int32_t seconds = 0;
    int32_t micros = 0;
    plist_get_date_val(node, &seconds, &micros);
    return seconds + (seconds < 0 ? -micros : micros) / 1e6;
}

plist_t newDateNode(double secondsSince2001) {
    std::array<uint8_t, 50> list{};
    std::copy(kBinaryMagic.begin(), kBinaryMagic.end(), list.begin());
    list[kObjectStart] = kDateMarker;
    const auto bits = std::bit_cast<uint64_t>(secondsSince2001);
    for (size_t i = 0; i < 8; ++i) {
        list[kObjectStart + 1 + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    }
    const size_t offsetTable = kObjectStart + 9;
    list[offsetTable] = kObjectStart;
    uint8_t* trailer = list.data() + offsetTable + 1;
    trailer[6] = 1;   // offset width
    trailer[7] = 1;   // reference width
    trailer[15] = 1;  // one object, the top one (index 0)
    trailer[31] = offsetTable;
    plist_t node = nullptr;
    plist_from_bin(reinterpret_cast<const char*>(list.data()), list.size(), &node);
    if (node != nullptr && plist_get_node_type(node) == PLIST_DATE) {
        return node;
    }
    if (node != nullptr) {
        plist_free(node);
    }
    constexpr double kLimit = std::numeric_limits<int32_t>::max();
    const double clamped =
        std::isnan(secondsSince2001) ? 0.0 : std::clamp(secondsSince2001, -kLimit, kLimit);
    const double whole = std::trunc(clamped);
    return plist_new_date(static_cast<int32_t>(whole),
                          static_cast<int32_t>(std::lround((clamped - whole) * 1e6)));
}

// ---------------------------------------------------------------------------
// libplist node -> PlistValue

std::optional<PlistValue> convertNode(plist_t node, size_t depth);

size_t utf8SequenceLength(uint8_t lead) {
    if (lead < 0x80) {
        return 1;
    }
    if ((lead >> 5) == 0x6) {
        return 2;
    }
    if ((lead >> 4) == 0xE) {
        return 3;
    }
    return (lead >> 3) == 0x1E ? 4 : 0;
}

// A binary list's strings are whatever bytes its writer put there; texts
// and keys are kept as UTF-8, a broken sequence as U+FFFD. Written back
// as they came, they would make a list that no reader takes.
std::string validUtf8(std::string text) {
    if (isValidUtf8(text)) {
        return text;
    }
    std::string repaired;
    size_t at = 0;
    while (at < text.size()) {
        const size_t length = utf8SequenceLength(static_cast<uint8_t>(text[at]));
        if (length != 0 && at + length <= text.size() &&
            isValidUtf8(std::string_view(text).substr(at, length))) {
            repaired.append(text, at, length);
            at += length;
        } else {
            repaired += "\xEF\xBF\xBD";
            ++at;
        }
    }
    return repaired;
}

std::string stringOf(plist_t node) {
    if (plist_get_node_type(node) == PLIST_KEY) {
        char* key = nullptr;
        plist_get_key_val(node, &key);
        const std::unique_ptr<char, CFree> owned(key);
        return key != nullptr ? validUtf8(key) : std::string();
    }
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    return text != nullptr ? validUtf8(std::string(text, length)) : std::string();
}

PlistValue::Bytes dataOf(plist_t node) {
    uint64_t length = 0;
    const char* data = plist_get_data_ptr(node, &length);
    if (data == nullptr) {
        return {};
    }
    const auto* begin = reinterpret_cast<const uint8_t*>(data);
    return PlistValue::Bytes(begin, begin + length);
}

std::optional<PlistValue> convertArray(plist_t node, size_t depth) {
    PlistValue::Array items;
    items.reserve(plist_array_get_size(node));
    // The iterator walks the children once; indexing them one by one would
    // walk from the first child every time and make large archives crawl.
    plist_array_iter rawIter = nullptr;
    plist_array_new_iter(node, &rawIter);
    const std::unique_ptr<void, CFree> iter(rawIter);
    while (iter != nullptr) {
        plist_t child = nullptr;
        plist_array_next_item(node, iter.get(), &child);
        if (child == nullptr) {
            break;
        }
        auto item = convertNode(child, depth + 1);
        if (!item) {
            return std::nullopt;
        }
        items.push_back(std::move(*item));
    }
    return PlistValue::array(std::move(items));
}

// XML lists spell a UID as <dict><key>CF$UID</key><integer>n</integer></dict>;
// Apple's reader turns that back into a UID, and so do we.
std::optional<PlistValue> uidSpelledAsDictionary(const PlistValue::Dictionary& entries) {
    if (entries.size() != 1 || entries.begin()->first != "CF$UID") {
        return std::nullopt;
    }
    const auto index = entries.begin()->second.asInteger();
    if (!index) {
        return std::nullopt;
    }
    return PlistValue::uid(static_cast<uint64_t>(*index));
}

std::optional<PlistValue> convertDictionary(plist_t node, size_t depth) {
    plist_dict_iter rawIter = nullptr;
    plist_dict_new_iter(node, &rawIter);
    const std::unique_ptr<void, CFree> iter(rawIter);
    PlistValue::Dictionary entries;
    while (iter != nullptr) {
        char* rawKey = nullptr;
        plist_t child = nullptr;
        plist_dict_next_item(node, iter.get(), &rawKey, &child);
        const std::unique_ptr<char, CFree> key(rawKey);
        if (child == nullptr) {
            break;
        }
        auto value = convertNode(child, depth + 1);
        if (!value) {
            return std::nullopt;
        }
        entries.insert_or_assign(key ? validUtf8(key.get()) : std::string(), std::move(*value));
    }
    if (auto uid = uidSpelledAsDictionary(entries)) {
        return uid;
    }
    return PlistValue::dictionary(std::move(entries));
}

std::optional<PlistValue> convertScalar(plist_t node) {
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t flag = 0;
            plist_get_bool_val(node, &flag);
            return PlistValue::boolean(flag != 0);
        }
        case PLIST_UINT: {
            // libplist keeps every integer as uint64; the bits are two's complement.
            uint64_t number = 0;
            plist_get_uint_val(node, &number);
            return PlistValue::integer(static_cast<int64_t>(number));
        }
        case PLIST_REAL: {
            double number = 0;
            plist_get_real_val(node, &number);
            return PlistValue::real(number);
        }
        case PLIST_STRING:
        case PLIST_KEY:
            return PlistValue::string(stringOf(node));
        case PLIST_DATE:
            return PlistValue::date(PlistDate{dateOf(node)});
        case PLIST_DATA:
            return PlistNodes::data(dataOf(node));
        case PLIST_UID: {
            uint64_t index = 0;
            plist_get_uid_val(node, &index);
            return PlistValue::uid(index);
        }
        default:
            return PlistValue();
    }
}

std::optional<PlistValue> convertNode(plist_t node, size_t depth) {
    if (node == nullptr) {
        return PlistValue();
    }
    const plist_type type = plist_get_node_type(node);
    if (type != PLIST_ARRAY && type != PLIST_DICT) {
        return convertScalar(node);
    }
    if (depth >= kMaxNesting) {
        return std::nullopt;
    }
    return type == PLIST_ARRAY ? convertArray(node, depth) : convertDictionary(node, depth);
}

// ---------------------------------------------------------------------------
// PlistValue -> libplist node

PlistNode makeNode(std::monostate) {
    return nullptr;
}
PlistNode makeNode(const std::string& text) {
    return PlistNode(plist_new_string(text.c_str()));
}
PlistNode makeNode(int64_t number) {
    return PlistNode(plist_new_uint(static_cast<uint64_t>(number)));
}
PlistNode makeNode(double number) {
    return PlistNode(plist_new_real(number));
}
PlistNode makeNode(bool flag) {
    return PlistNode(plist_new_bool(flag ? 1 : 0));
}
PlistNode makeNode(PlistDate when) {
    return PlistNode(newDateNode(when.secondsSince2001));
}
PlistNode makeNode(PlistUid uid) {
    return PlistNode(plist_new_uid(uid.value));
}

PlistNode makeNode(const PlistValue::Bytes& bytes) {
    static const char kNothing = 0;  // libplist copies from the pointer even for no bytes
    const char* data = bytes.empty() ? &kNothing : reinterpret_cast<const char*>(bytes.data());
    return PlistNode(plist_new_data(data, bytes.size()));
}

// A None has no node form; inside a container it is left out.
PlistNode makeNode(const PlistValue::Array& items) {
    PlistNode array(plist_new_array());
    for (const PlistValue& item : items) {
        if (PlistNode child = PlistNodes::of(item)) {
            plist_array_append_item(array.get(), child.release());
        }
    }
    return array;
}

PlistNode makeNode(const PlistValue::Dictionary& entries) {
    PlistNode dict(plist_new_dict());
    for (const auto& [key, value] : entries) {
        if (PlistNode child = PlistNodes::of(value)) {
            plist_dict_set_item(dict.get(), key.c_str(), child.release());
        }
    }
    return dict;
}

// libplist 2.2 writes only the low 32 bits of a UID into a binary list (as
// Apple's own archiver does, whose indexes are 32-bit). A wider one would come
// back as a different object reference, so such a value is not written.
bool uidsFitBinaryForm(const PlistValue& value) {
    if (const auto index = value.asUid()) {
        return *index <= std::numeric_limits<uint32_t>::max();
    }
    if (const auto* items = value.asArray()) {
        return std::all_of(items->begin(), items->end(), uidsFitBinaryForm);
    }
    if (const auto* entries = value.asDictionary()) {
        return std::all_of(entries->begin(), entries->end(),
                           [](const auto& entry) { return uidsFitBinaryForm(entry.second); });
    }
    return true;
}

// Readers of the target see either the old list or the whole new one. A
// value with no serialised form writes nothing.
bool replaceFileContents(const std::string& path, std::string_view bytes) {
    return !bytes.empty() && writeFileAtomically(path, bytes).ok();
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction and access

PlistValue PlistValue::string(std::string text) {
    return PlistValue(Storage(std::in_place_type<std::string>, std::move(text)));
}
PlistValue PlistValue::integer(int64_t number) {
    return PlistValue(Storage(std::in_place_type<int64_t>, number));
}
PlistValue PlistValue::real(double number) {
    return PlistValue(Storage(std::in_place_type<double>, number));
}
PlistValue PlistValue::boolean(bool flag) {
    return PlistValue(Storage(std::in_place_type<bool>, flag));
}
PlistValue PlistValue::date(PlistDate when) {
    return PlistValue(Storage(std::in_place_type<PlistDate>, when));
}
PlistValue PlistValue::array(Array items) {
    return PlistValue(Storage(std::in_place_type<Array>, std::move(items)));
}
PlistValue PlistValue::dictionary(Dictionary entries) {
    return PlistValue(Storage(std::in_place_type<Dictionary>, std::move(entries)));
}
PlistValue PlistValue::uid(uint64_t index) {
    return PlistValue(Storage(std::in_place_type<PlistUid>, PlistUid{index}));
}

PlistValue::Type PlistValue::type() const {
    // Type lists the alternatives of Storage in the same order.
    static_assert(std::variant_size_v<Storage> == static_cast<size_t>(Type::Uid) + 1);
    static_assert(
        std::is_same_v<std::variant_alternative_t<static_cast<size_t>(Type::Date), Storage>,
                       PlistDate>);
    static_assert(
        std::is_same_v<std::variant_alternative_t<static_cast<size_t>(Type::Uid), Storage>,
                       PlistUid>);
    return static_cast<Type>(value_.index());
}

const std::string* PlistValue::asString() const {
    return std::get_if<std::string>(&value_);
}

std::optional<int64_t> PlistValue::asInteger() const {
    const auto* number = std::get_if<int64_t>(&value_);
    return number != nullptr ? std::optional(*number) : std::nullopt;
}

std::optional<double> PlistValue::asReal() const {
    if (const auto* number = std::get_if<double>(&value_)) {
        return *number;
    }
    if (const auto* number = std::get_if<int64_t>(&value_)) {
        return static_cast<double>(*number);
    }
    return std::nullopt;
}

std::optional<bool> PlistValue::asBoolean() const {
    const auto* flag = std::get_if<bool>(&value_);
    return flag != nullptr ? std::optional(*flag) : std::nullopt;
}

std::optional<PlistDate> PlistValue::asDate() const {
    const auto* when = std::get_if<PlistDate>(&value_);
    return when != nullptr ? std::optional(*when) : std::nullopt;
}

const PlistValue::Array* PlistValue::asArray() const {
    return std::get_if<Array>(&value_);
}
const PlistValue::Dictionary* PlistValue::asDictionary() const {
    return std::get_if<Dictionary>(&value_);
}
PlistValue::Array* PlistValue::asArray() {
    return std::get_if<Array>(&value_);
}
PlistValue::Dictionary* PlistValue::asDictionary() {
    return std::get_if<Dictionary>(&value_);
}

PlistValue PlistValue::data(Bytes bytes) {
    return PlistNodes::data(std::move(bytes));
}

const PlistValue::Bytes* PlistValue::asData() const {
    return std::get_if<Bytes>(&value_);
}

std::optional<uint64_t> PlistValue::asUid() const {
    const auto* uid = std::get_if<PlistUid>(&value_);
    return uid != nullptr ? std::optional(uid->value) : std::nullopt;
}

const PlistValue* PlistValue::find(std::string_view key) const {
    const Dictionary* entries = asDictionary();
    if (entries == nullptr) {
        return nullptr;
    }
    const auto found = entries->find(key);
    return found != entries->end() ? &found->second : nullptr;
}

std::optional<std::string> PlistValue::stringFor(std::string_view key) const {
    const PlistValue* value = find(key);
    const std::string* text = value != nullptr ? value->asString() : nullptr;
    return text != nullptr ? std::optional(*text) : std::nullopt;
}

void PlistValue::set(std::string key, PlistValue value) {
    if (Dictionary* entries = asDictionary()) {
        entries->insert_or_assign(std::move(key), std::move(value));
    }
}

void PlistValue::append(PlistValue value) {
    if (Array* items = asArray()) {
        items->push_back(std::move(value));
    }
}

// ---------------------------------------------------------------------------
// Parsing and serialising

std::optional<PlistValue> PlistValue::fromBytes(std::span<const uint8_t> bytes) {
    bytes = withoutByteOrderMark(bytes);
    if (bytes.empty() || bytes.size() > kMaxListBytes) {
        return std::nullopt;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    try {
        const bool acceptable =
            isBinaryList(bytes)
                ? BinaryListShape(bytes).acceptable(kMaxNesting, maxExpandedNodes(bytes.size()))
                : startsLikeXml(text) && XmlNesting(text).within(kMaxNesting);
        if (!acceptable) {
            return std::nullopt;
        }
        plist_t root = nullptr;
        plist_from_memory(text.data(), static_cast<uint32_t>(text.size()), &root);
        const PlistNode owned(root);
        return root != nullptr ? convertNode(root, 0) : std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

namespace {

template <typename Where>
std::optional<PlistValue> listIn(const Where& file, uint64_t maxBytes) {
    try {
        const StatusOr<std::string> bytes = readWholeFile(file, std::min(maxBytes, kMaxListBytes));
        return bytes.ok() ? PlistValue::fromBytes(std::span(
                                reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()))
                          : std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace

std::optional<PlistValue> PlistValue::fromFile(const std::string& path, uint64_t maxBytes) {
    return listIn(path, maxBytes);
}

std::optional<PlistValue> PlistValue::fromFile(const PathWithin& file, uint64_t maxBytes) {
    return listIn(file, maxBytes);
}

PlistValue::Bytes PlistValue::toBinary() const {
    try {
        const PlistNode node = uidsFitBinaryForm(*this) ? PlistNodes::of(*this) : nullptr;
        if (!node) {
            return {};
        }
        char* raw = nullptr;
        uint32_t length = 0;
        plist_to_bin(node.get(), &raw, &length);
        const std::unique_ptr<char, BinaryBufferFree> owned(raw);
        const auto* begin = reinterpret_cast<const uint8_t*>(raw);
        return raw != nullptr ? Bytes(begin, begin + length) : Bytes();
    } catch (const std::bad_alloc&) {
        return {};
    }
}

std::string PlistValue::toXml() const {
    try {
        const PlistNode node = PlistNodes::of(*this);
        if (!node) {
            return {};
        }
        char* raw = nullptr;
        uint32_t length = 0;
        plist_to_xml(node.get(), &raw, &length);
        const std::unique_ptr<char, XmlBufferFree> owned(raw);
        return raw != nullptr ? std::string(raw, length) : std::string();
    } catch (const std::bad_alloc&) {
        return {};
    }
}

bool PlistValue::writeBinaryFile(const std::string& path) const {
    try {
        const Bytes bytes = toBinary();
        return replaceFileContents(
            path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool PlistValue::writeXmlFile(const std::string& path) const {
    try {
        return replaceFileContents(path, toXml());
    } catch (const std::bad_alloc&) {
        return false;
    }
}

PlistNode PlistNodes::of(const PlistValue& value) {
    return std::visit([](const auto& held) { return makeNode(held); }, value.value_);
}

}  // namespace vessamo
