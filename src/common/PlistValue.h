#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/ConfinedFiles.h"

namespace vessamo {

// A keyed archive's reference to another object in its "$objects" array.
struct PlistUid {
    uint64_t value = 0;
    bool operator==(const PlistUid&) const = default;
};

// Property-list dates count seconds from 2001-01-01 00:00:00 UTC.
struct PlistDate {
    double secondsSince2001 = 0;
    bool operator==(const PlistDate&) const = default;
    [[nodiscard]] double unixTime() const { return secondsSince2001 + 978307200.0; }
    [[nodiscard]] static PlistDate fromUnixTime(double unixSeconds) {
        return PlistDate{unixSeconds - 978307200.0};
    }
};

// A property-list value held as plain C++ data, so callers never touch
// libplist nodes. Reads binary and XML lists; writes either form back.
class PlistValue {
public:
    enum class Type { None, String, Integer, Real, Boolean, Date, Data, Array, Dictionary, Uid };
    using Array = std::vector<PlistValue>;
    using Dictionary = std::map<std::string, PlistValue, std::less<>>;
    using Bytes = std::vector<uint8_t>;

    PlistValue() = default;  // Type::None

    static PlistValue string(std::string text);
    static PlistValue integer(int64_t number);
    static PlistValue real(double number);
    static PlistValue boolean(bool flag);
    static PlistValue date(PlistDate when);
    static PlistValue array(Array items = {});
    static PlistValue dictionary(Dictionary entries = {});
    static PlistValue uid(uint64_t index);
    static PlistValue data(Bytes bytes);

    [[nodiscard]] Type type() const;
    [[nodiscard]] bool isNone() const { return type() == Type::None; }

    // Typed access: nullptr / nullopt when the value is of another type.
    [[nodiscard]] const std::string* asString() const;
    [[nodiscard]] std::optional<int64_t> asInteger() const;
    [[nodiscard]] std::optional<double> asReal() const;  // integers convert too
    [[nodiscard]] std::optional<bool> asBoolean() const;
    [[nodiscard]] std::optional<PlistDate> asDate() const;
    [[nodiscard]] const Array* asArray() const;
    [[nodiscard]] const Dictionary* asDictionary() const;
    [[nodiscard]] std::optional<uint64_t> asUid() const;
    [[nodiscard]] const Bytes* asData() const;
    Array* asArray();
    Dictionary* asDictionary();

    // Dictionary lookup; nullptr when this is not a dictionary or the key is absent.
    [[nodiscard]] const PlistValue* find(std::string_view key) const;
    // Convenience for the common "string value of key" read.
    [[nodiscard]] std::optional<std::string> stringFor(std::string_view key) const;
    // Inserts or replaces; does nothing unless this is a dictionary.
    void set(std::string key, PlistValue value);
    // Appends; does nothing unless this is an array.
    void append(PlistValue value);

    // Parses a binary ("bplist00") or XML property list. nullopt for anything
    // that is not a complete, well-formed list.
    [[nodiscard]] static std::optional<PlistValue> fromBytes(std::span<const uint8_t> bytes);
    // Reads a file of at most maxBytes; nullopt when missing, unreadable,
    // larger than that, or not a property list.
    [[nodiscard]] static std::optional<PlistValue> fromFile(const std::string& path,
                                                            uint64_t maxBytes = 64u << 20);
    // The same for a file of a source, read inside its folder without
    // following a link (see openSourceFile).
    [[nodiscard]] static std::optional<PlistValue> fromFile(const PathWithin& file,
                                                            uint64_t maxBytes = 64u << 20);

    // Serialising leaves out None values inside containers and gives an empty
    // result for a None root. XML keeps dates to whole seconds; a binary list
    // holds UIDs of at most 32 bits, so toBinary gives nothing for a wider one.
    [[nodiscard]] Bytes toBinary() const;
    [[nodiscard]] std::string toXml() const;
    [[nodiscard]] bool writeBinaryFile(const std::string& path) const;
    [[nodiscard]] bool writeXmlFile(const std::string& path) const;

    bool operator==(const PlistValue&) const = default;

private:
    friend class PlistNodes;

    using Storage = std::variant<std::monostate, std::string, int64_t, double, bool, PlistDate,
                                 Bytes, Array, Dictionary, PlistUid>;
    explicit PlistValue(Storage storage) : value_(std::move(storage)) {}
    Storage value_;
};

}  // namespace vessamo
