#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/UiPort.h"

namespace vessamo::bench {

// A person who never answers: benchmarks run unattended.
class SilentUi : public UiPort {
public:
    AlertAnswer showAlert(const AlertRequest&) override { return AlertAnswer{0, true}; }
    void showAccessGuide() override {}
    void showBackupPane() override {}
    void runOnMainThreadAndWait(const std::function<void()>& work) override { work(); }
    std::optional<std::string> chooseSavePath(const SavePanelRequest&) override {
        return destination.empty() ? std::nullopt : std::optional(destination);
    }

    std::string destination;  // what the save sheet answers; empty cancels
};

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

// Wall time of a command, its output thrown away.
inline double timeCommand(const std::vector<std::string>& argv) {
    auto start = std::chrono::steady_clock::now();
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        freopen("/dev/null", "w", stdout);
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        execvp(args[0], args.data());
        std::_Exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    return secondsSince(start);
}

}  // namespace vessamo::bench
