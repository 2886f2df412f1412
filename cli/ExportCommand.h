#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vessamo::cli {

struct ExportOptions {
    std::string folder;
    std::string kind;  // as for scan
    std::string destination;
    bool html = false;
    bool report = false;  // the chat report: index, pages, JSON
    bool utc = false;     // the report's times in UTC
    bool text = false;
    bool people = false;
    bool contacts = false;
    bool favorites = false;
    bool calls = false;
    bool chatMedia = false;  // the media of the chosen chats
    bool allMedia = false;   // every media file of the backup, or only:
    bool photos = false;
    bool videos = false;
    bool audios = false;
    std::string chats = "all";  // "all" or chat keys "3,7,12"
    bool deleted = false;       // recover deleted messages and export them too
    std::string passwordFile;   // encrypted backups; empty: prompt on a terminal

    [[nodiscard]] bool anyChosen() const {
        return html || report || text || people || contacts || favorites || calls || chatMedia ||
               allMedia || photos || videos || audios;
    }
};

// `vessamo-cli export`: scans like `scan`, chooses the conversations and
// writes the chosen exports below the destination. Exits non-zero when any
// file could not be written, after saying which; media files the backup
// does not hold are listed but fail nothing.
int runExport(ExportOptions options, std::ostream& out, std::ostream& err);

}  // namespace vessamo::cli
