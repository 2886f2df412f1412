#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vessamo {

// Conversions from stored values to the texts the views and exports show.

// A moment stored as seconds since 2001-01-01 00:00 UTC (Apple's reference
// date), as "MM-DD-YYYY hh:mm" in local time: displayTimeText's text, for
// callers that hold the bare number. Every kind of source file stores dates
// the same way, so fileType does not change the result. Nothing when the
// moment has no local calendar date.
[[nodiscard]] std::optional<std::string> GetDateTime(int64_t seconds2001, int fileType);

// Decodes NUL-terminated UTF-8 into code points, replacing out. Returns how
// many; 0 with out empty for a null pointer or malformed text.
size_t Char2Unicode(const uint8_t* utf8, std::u32string& out);

// A call's length in its largest whole unit ("2 hours", "1 minute",
// "59 seconds"). Below two seconds the unit stays singular; negative
// lengths are shown as their remainder of a minute.
[[nodiscard]] std::string getCallHistoryDuration(int32_t seconds);

// A byte count in decimal units with two decimals ("999.00B", "1.00K").
// Worked out in single precision step by step, so values just below a
// unit boundary may round up to "1000.00" of the smaller unit.
[[nodiscard]] std::string size_to_unit(uint64_t bytes);

// The number as at least eight digits, zero-padded on the left.
[[nodiscard]] std::string getFullName(uint64_t number);

// One phone number of an address-book contact.
struct ContactPhoneEntry {
    std::string_view contactName;
    std::string_view contactPhone;
};

// The first contact whose number, with separators ("-", "(", ")", " ")
// removed, contains the given number with the same separators removed
// (ASCII case-insensitive). Nothing when no contact matches, and nothing for
// a number that is empty once its separators are gone.
[[nodiscard]] std::optional<std::string> getNameByPhoneNumber(
    std::string_view phone, std::span<const ContactPhoneEntry> contacts);

}  // namespace vessamo
