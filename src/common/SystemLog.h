#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vessamo {

// The one sink for diagnostic lines (what a macOS build would send to the
// system log). Lines go to syslog; they are echoed to stderr when enabled;
// tests capture them. Diagnostics never change behaviour.
class SystemLog {
public:
    static void write(std::string_view line);
    // A line written for every record of a large source (each file of a
    // catalogue, say): echoed and captured like any other, but kept out of
    // syslog, which would throttle or drop a flood of them anyway.
    static void trace(std::string_view line);
    // Whether a trace line would reach anyone; lets hot loops skip building it.
    [[nodiscard]] static bool tracing();
    static void setEchoToStderr(bool echo);

    // Records every line written on any thread while it lives. Captures may
    // nest; each sees the lines written during its own lifetime.
    class Capture {
    public:
        Capture();
        ~Capture();
        Capture(const Capture&) = delete;
        Capture& operator=(const Capture&) = delete;
        [[nodiscard]] std::vector<std::string> lines() const;
        [[nodiscard]] bool contains(std::string_view fragment) const;

    private:
        friend class SystemLog;
        std::vector<std::string> lines_;  // guarded by the log's own lock, not per capture
    };

private:
    static void echoAndCapture(std::string_view line);
};

}  // namespace vessamo
