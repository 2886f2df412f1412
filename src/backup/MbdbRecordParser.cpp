#include "backup/MbdbRecordParser.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vessamo {

namespace {

constexpr std::array<uint8_t, 6> kMagic = {0x6D, 0x62, 0x64, 0x62, 0x05, 0x00};  // "mbdb" 5.0
constexpr uint16_t kAbsentString = 0xFFFF;
// mode, inode, user, group, three times, size, protection class
constexpr size_t kFixedFieldBytes = 2 + 8 + 4 + 4 + 4 + 4 + 4 + 8 + 1;

}  // namespace

bool MbdbRecordParser::readHeader() {
    position_ = 0;
    if (bytes_.size() < kMagic.size() ||
        !std::equal(kMagic.begin(), kMagic.end(), bytes_.begin())) {
        return false;
    }
    position_ = kMagic.size();
    return true;
}

bool MbdbRecordParser::skip(size_t count) {
    if (count > bytes_.size() - position_) {
        position_ = bytes_.size();
        return false;
    }
    position_ += count;
    return true;
}

std::optional<uint16_t> MbdbRecordParser::readLength() {
    if (bytes_.size() - position_ < 2) {
        position_ = bytes_.size();
        return std::nullopt;
    }
    auto length = static_cast<uint16_t>((bytes_[position_] << 8) | bytes_[position_ + 1]);
    position_ += 2;
    return length;
}

bool MbdbRecordParser::readString(std::string* keep) {
    auto length = readLength();
    if (!length) {
        return false;
    }
    if (*length == kAbsentString) {
        return true;
    }
    size_t start = position_;
    if (!skip(*length)) {
        return false;
    }
    if (keep != nullptr) {
        size_t kept = std::min<size_t>(*length, kMaxStringBytes);
        const char* text = reinterpret_cast<const char*>(bytes_.data() + start);
        keep->assign(text, strnlen(text, kept));
    }
    return true;
}

bool MbdbRecordParser::readRaw(std::string& keep) {
    auto length = readLength();
    if (!length) {
        return false;
    }
    if (*length == kAbsentString) {
        return true;
    }
    const size_t start = position_;
    if (!skip(*length)) {
        return false;
    }
    keep.assign(reinterpret_cast<const char*>(bytes_.data() + start), *length);
    return true;
}

bool MbdbRecordParser::readFixedFields(Record& record) {
    const size_t start = position_;
    if (!skip(kFixedFieldBytes)) {
        return false;
    }
    const size_t sizeAt = start + kFixedFieldBytes - 9;
    for (size_t i = 0; i < 8; ++i) {
        record.size = (record.size << 8) | bytes_[sizeAt + i];
    }
    record.protectionClass = bytes_[sizeAt + 8];
    return true;
}

std::optional<MbdbRecordParser::Record> MbdbRecordParser::next() {
    Record record;
    bool complete = readString(&record.domain) && readString(&record.path) && readString(nullptr) &&
                    readString(nullptr) && readRaw(record.encryptionKey) && readFixedFields(record);
    if (!complete || atEnd()) {
        position_ = bytes_.size();
        return std::nullopt;
    }
    unsigned propertyCount = bytes_[position_++];
    for (unsigned i = 0; i < propertyCount; ++i) {
        if (!readString(nullptr) || !readString(nullptr)) {
            return std::nullopt;
        }
    }
    record.endOffset = position_;
    return record;
}

}  // namespace vessamo
