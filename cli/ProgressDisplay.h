#pragma once

#include <iosfwd>
#include <mutex>
#include <string>

namespace vessamo::cli {

// Shows how far a scan or an export has come on stderr: a redrawn bar on a
// terminal, plain lines ("<label>: N%", one per change) when stderr goes to
// a file or a pipe. The figure only ever grows: stages that report their
// own scales never make it run backwards.
class ProgressDisplay {
public:
    ProgressDisplay(std::ostream& out, bool terminal, std::string label = "progress")
        : out_(out), terminal_(terminal), label_(std::move(label)) {}

    void show(int percent);
    void note(const std::string& line);  // a message that must not tear the bar
    // Ends the display; at 100 % unless the work stopped short.
    void finish(bool complete = true);

private:
    void draw(int percent);

    std::ostream& out_;
    bool terminal_;
    std::string label_;
    std::mutex mutex_;
    int last_ = -1;
    bool barShown_ = false;
};

}  // namespace vessamo::cli
