#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace vessamo::bench {

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A figure of /proc/self/status in bytes ("VmRSS", "VmHWM").
inline long long statusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::atoll(line.c_str() + line.find(':') + 1) * 1024;
        }
    }
    return -1;
}

// The CPU time this process has used so far, user and system, in seconds.
inline double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

inline std::string cacheFolder(const char* name) {
    const char* configured = std::getenv("VESSAMO_BENCH_CACHE");
    std::string root = configured != nullptr ? configured : "";
    if (root.empty()) {
        const char* home = std::getenv("HOME");
        root = std::string(home != nullptr ? home : "/tmp") + "/.cache/vessamo-bench";
    }
    return root + "/" + name;
}

// Runs work in a child process, so what it allocates never counts against
// the figures measured afterwards. Returns the child's exit status.
inline int inChild(const std::function<int()>& work) {
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        int status = work();
        std::fflush(nullptr);
        std::_Exit(status);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// What one run of a command cost: its exit status (-1 when it did not
// exit), wall time, and its own peak resident memory as the kernel counted it.
struct CommandRun {
    int exitCode = -1;
    double seconds = 0;
    long long peakRssBytes = 0;
};

// Runs a command with stdout and stderr thrown away and waits for it.
inline CommandRun runCommand(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execvp(args[0], args.data());
        std::_Exit(127);
    }
    CommandRun run;
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child) {
        return run;
    }
    run.seconds = secondsSince(start);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakRssBytes = static_cast<long long>(usage.ru_maxrss) * 1024;  // Linux counts KiB
    return run;
}

}  // namespace vessamo::bench
