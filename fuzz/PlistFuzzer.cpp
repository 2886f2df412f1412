#include <cstddef>
#include <cstdint>
#include <span>

#include "common/PlistValue.h"

namespace {

// Every value of a parsed list, reached the way readers reach them.
size_t walk(const vessamo::PlistValue& value, int depth) {
    size_t count = 1;
    if (depth > 64) {
        return count;
    }
    if (const auto* array = value.asArray()) {
        for (const vessamo::PlistValue& item : *array) {
            count += walk(item, depth + 1);
        }
    } else if (const auto* dictionary = value.asDictionary()) {
        for (const auto& [key, item] : *dictionary) {
            count += walk(item, depth + 1) + (value.find(key) != &item ? 1 : 0);
        }
    }
    (void)value.asString();
    (void)value.asReal();
    (void)value.asDate();
    return count;
}

}  // namespace

// Binary and XML lists alike: parsing any bytes must end without a crash
// or a read out of bounds, and a list that parsed must write back out as a
// binary list that parses again.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto value = vessamo::PlistValue::fromBytes(std::span<const uint8_t>(data, size));
    if (!value) {
        return 0;
    }
    if (walk(*value, 0) == 0) {
        __builtin_trap();
    }
    const vessamo::PlistValue::Bytes binary = value->toBinary();
    if (!binary.empty() && !vessamo::PlistValue::fromBytes(binary)) {
        __builtin_trap();
    }
    (void)value->toXml();
    return 0;
}
