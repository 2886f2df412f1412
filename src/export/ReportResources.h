#pragma once

#include <string_view>

namespace vessamo {

// The report's own style sheet and index script, written into every page so
// that a page copied away alone still reads well: system fonts only, no
// network, a layout for phones and one for paper.
[[nodiscard]] std::string_view reportStyleSheet();
// Sorts the index table by column, filters it, and searches the message
// texts of "search-index.js", loaded the first time it is needed.
[[nodiscard]] std::string_view reportIndexScript();

}  // namespace vessamo
