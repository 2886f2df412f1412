#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vessamo::cli {

struct ExportOptions {
    std::string folder;
    std::string destination;
    bool html = false;
    bool text = false;
    bool people = false;
    bool contacts = false;
    bool favorites = false;
    bool calls = false;
    std::string chats = "all";  // "all" or chat keys "3,7,12"
    bool deleted = false;       // recover deleted messages and export them too

    [[nodiscard]] bool anyChosen() const {
        return html || text || people || contacts || favorites || calls;
    }
};

// `vessamo-cli export`: scans like `scan`, marks the chosen conversations and
// writes the chosen exports below the destination. Exits non-zero when any
// file could not be written, after saying which.
int runExport(ExportOptions options, std::ostream& out, std::ostream& err);

}  // namespace vessamo::cli
