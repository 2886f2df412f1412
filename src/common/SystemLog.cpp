#include "common/SystemLog.h"

#include <syslog.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <mutex>

namespace vessamo {

namespace {

// The log is process-wide by nature (one syslog connection, one stderr), so its state is too.
struct Sink {
    std::once_flag opened;
    std::atomic<bool> echo{false};
    // Mirrors live.size() so that write() can skip the lock when nobody is listening.
    std::atomic<size_t> captureCount{0};
    std::mutex mutex;  // guards `live` and the lines of every capture in it
    std::vector<SystemLog::Capture*> live;
};

Sink& sink() {
    static Sink instance;
    return instance;
}

void sendToSyslog(Sink& s, std::string_view line) {
    std::call_once(s.opened, [] { openlog("vessamo", LOG_PID, LOG_USER); });
    const int length = static_cast<int>(std::min<size_t>(line.size(), INT_MAX));
    syslog(LOG_INFO, "%.*s", length, line.data());
}

}  // namespace

namespace {

// Callers often pass lines that end in a newline; syslog and captures want bare lines.
std::string_view bare(std::string_view line) {
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
    }
    return line;
}

}  // namespace

void SystemLog::echoAndCapture(std::string_view line) {
    Sink& s = sink();
    const bool echo = s.echo.load(std::memory_order_relaxed);
    if (!echo && s.captureCount.load(std::memory_order_acquire) == 0) {
        return;
    }
    // Diagnostics never change behaviour: running out of memory here is not the caller's problem.
    try {
        if (echo) {
            std::string withNewline(line);
            withNewline.push_back('\n');
            std::fwrite(withNewline.data(), 1, withNewline.size(), stderr);
        }
        std::lock_guard lock(s.mutex);
        for (Capture* capture : s.live) {
            capture->lines_.emplace_back(line);
        }
    } catch (...) {
    }
}

void SystemLog::write(std::string_view line) {
    line = bare(line);
    sendToSyslog(sink(), line);
    echoAndCapture(line);
}

void SystemLog::trace(std::string_view line) {
    echoAndCapture(bare(line));
}

bool SystemLog::tracing() {
    const Sink& s = sink();
    return s.echo.load(std::memory_order_relaxed) ||
           s.captureCount.load(std::memory_order_acquire) != 0;
}

void SystemLog::setEchoToStderr(bool echo) {
    sink().echo.store(echo, std::memory_order_relaxed);
}

SystemLog::Capture::Capture() {
    Sink& s = sink();
    std::lock_guard lock(s.mutex);
    s.live.push_back(this);
    s.captureCount.store(s.live.size(), std::memory_order_release);
}

SystemLog::Capture::~Capture() {
    Sink& s = sink();
    std::lock_guard lock(s.mutex);
    s.live.erase(std::find(s.live.begin(), s.live.end(), this));
    s.captureCount.store(s.live.size(), std::memory_order_release);
}

std::vector<std::string> SystemLog::Capture::lines() const {
    std::lock_guard lock(sink().mutex);
    return lines_;
}

bool SystemLog::Capture::contains(std::string_view fragment) const {
    std::lock_guard lock(sink().mutex);
    return std::any_of(lines_.begin(), lines_.end(), [fragment](const std::string& line) {
        return line.find(fragment) != std::string::npos;
    });
}

}  // namespace vessamo
