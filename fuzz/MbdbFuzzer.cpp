#include <cstddef>
#include <cstdint>
#include <span>

#include "backup/MbdbRecordParser.h"

// A Manifest.mbdb of any bytes: the records walk forward inside the file,
// and no kept string grows past its bound.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vessamo::MbdbRecordParser parser(std::span<const uint8_t>(data, size));
    if (!parser.readHeader()) {
        return 0;
    }
    size_t last = 0;
    while (!parser.atEnd()) {
        const auto record = parser.next();
        if (!record) {
            break;
        }
        if (record->endOffset <= last || record->endOffset > size ||
            record->domain.size() > vessamo::MbdbRecordParser::kMaxStringBytes ||
            record->path.size() > vessamo::MbdbRecordParser::kMaxStringBytes) {
            __builtin_trap();
        }
        last = record->endOffset;
    }
    return 0;
}
