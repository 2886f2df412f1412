#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/AppleTime.h"
#include "results/KTWhatsAppNode.h"

namespace vessamo {

// The one place where record values become the texts a person sees:
// views, exports and the command line all show dates and directions
// through these, so every screen and file says the same.

// "Send", "Receive", or "" for a record no reader filled.
[[nodiscard]] std::string_view directionText(Direction direction);

// Message times, "MM-DD-YYYY hh:mm" in local time. A message without a
// stored time shows "", one whose time has no calendar date " ".
[[nodiscard]] std::string messageDateText(const std::optional<AppleTime>& time);
// Call times: the same format; a call without a stored time shows "",
// one whose time has no calendar date " ".
[[nodiscard]] std::string callDateText(const std::optional<AppleTime>& time);
// "YYYY-MM-DDThh:mm:ss+hh:mm", or "" without a usable time.
[[nodiscard]] std::string isoDateText(const std::optional<AppleTime>& time);

// The same texts for many records at once (a chat's pages, a JSON dump):
// the calendar is worked out once per quarter hour. One per thread.
class DisplayTextCache {
public:
    [[nodiscard]] std::string messageDate(const std::optional<AppleTime>& time);
    [[nodiscard]] std::string callDate(const std::optional<AppleTime>& time);
    [[nodiscard]] std::string isoDate(const std::optional<AppleTime>& time);
    // messageDate's text appended to out, for pages built in place.
    void appendMessageDate(std::string& out, const std::optional<AppleTime>& time);

private:
    TimeTextCache times_;
};

}  // namespace vessamo
