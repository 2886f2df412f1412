#include "ProgressDisplay.h"

#include <algorithm>
#include <ostream>

namespace vessamo::cli {

namespace {
constexpr int kBarWidth = 40;
}

void ProgressDisplay::draw(int percent) {
    if (terminal_) {
        int filled = percent * kBarWidth / 100;
        out_ << "\r[" << std::string(static_cast<size_t>(filled), '#')
             << std::string(static_cast<size_t>(kBarWidth - filled), '.') << "] " << percent << "%"
             << std::flush;
        barShown_ = true;
    } else {
        out_ << label_ << ": " << percent << "%\n";
    }
}

void ProgressDisplay::show(int percent) {
    std::lock_guard lock(mutex_);
    percent = std::clamp(percent, 0, 100);
    if (percent <= last_) {
        return;
    }
    last_ = percent;
    draw(percent);
}

void ProgressDisplay::note(const std::string& line) {
    std::lock_guard lock(mutex_);
    if (barShown_) {
        out_ << '\n';
        barShown_ = false;
    }
    out_ << line << '\n';
}

void ProgressDisplay::finish(bool complete) {
    std::lock_guard lock(mutex_);
    if (complete && last_ != 100) {
        last_ = 100;
        draw(100);
    }
    if (barShown_) {
        out_ << '\n';
        barShown_ = false;
    }
}

}  // namespace vessamo::cli
