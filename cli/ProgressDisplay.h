#pragma once

#include <iosfwd>
#include <mutex>
#include <string>

namespace vessamo::cli {

// Shows a scan's percentage on stderr: a redrawn bar on a terminal, plain
// lines (one per change) when stderr goes to a file or a pipe.
class ProgressDisplay {
public:
    ProgressDisplay(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}

    void show(int percent);
    void note(const std::string& line);  // a message that must not tear the bar
    void finish();

private:
    void draw(int percent);

    std::ostream& out_;
    bool terminal_;
    std::mutex mutex_;
    int last_ = -1;
    bool barShown_ = false;
};

}  // namespace vessamo::cli
