#pragma once

#include <iosfwd>
#include <string>

namespace vessamo::cli {

struct TimelineOptions {
    std::string source;  // for create: the backup to scan first
    std::string kind;    // as for scan
};

// `vessamo-cli timeline create SOURCE`: scans SOURCE and keeps its WhatsApp
// files as a new Timeline backup.
int runTimelineCreate(const TimelineOptions& options, std::ostream& out, std::ostream& err);
// `vessamo-cli timeline list`: the Timeline backups of the user folder.
int runTimelineList(std::ostream& out);

}  // namespace vessamo::cli
