#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "export/ReportClock.h"
#include "export/ReportOutput.h"
#include "results/ScanResult.h"

namespace vessamo {

// Where the scanned data came from, as the index's heading names it.
struct ReportSource {
    std::string device;      // "Vessamo Sample iPhone", or the folder's name
    std::string model;       // "iPhone 11", or ""
    std::string iosVersion;  // "15.3.1", or ""
    std::string backupTime;  // as the backup records it, or ""
    std::string kind;        // "iTunes or Finder backup", "iCloud Drive", "Timeline backup"
    std::string folder;
};

// Reads what a backup folder says about its device; other sources are named
// by their folder.
[[nodiscard]] ReportSource reportSourceOf(const ScanResult& result);

// One conversation's row in the index table.
struct ReportIndexRow {
    std::string title;
    std::string number;     // "+49...", "Group", or ""
    std::string firstPage;  // its first page's file name in "Chats"
    size_t messages = 0;
    size_t recovered = 0;
    size_t media = 0;
    std::optional<ClockReading> first;
    std::optional<ClockReading> last;
    bool recoveredOnly = false;
    bool deletedChat = false;  // recovered, and no chat of that name is left on the phone
    bool starredList = false;  // repeats messages of the others: left out of the totals
};

// index.html: the source, the account, the totals and a table of the
// conversations that sorts by any column; its search box filters the table
// and finds message texts through search-index.js.
class ReportIndexWriter {
public:
    ReportIndexWriter(const ScanResult& result, ReportSource source, std::string zone,
                      std::string exported)
        : result_(result),
          source_(std::move(source)),
          zone_(std::move(zone)),
          exported_(std::move(exported)) {}

    void add(ReportIndexRow row) { rows_.push_back(std::move(row)); }
    [[nodiscard]] size_t size() const { return rows_.size(); }
    // Writes the page as index.html, its table a piece at a time: the
    // index of a backup with thousands of conversations is never held whole.
    bool write(ReportOutput& output) const;

private:
    void appendFacts(std::string& html) const;
    void appendTable(std::string& html, ReportStream& file) const;
    static void appendRow(std::string& html, const ReportIndexRow& row, size_t at);

    const ScanResult& result_;
    ReportSource source_;
    std::string zone_;
    std::string exported_;
    std::vector<ReportIndexRow> rows_;
};

}  // namespace vessamo
