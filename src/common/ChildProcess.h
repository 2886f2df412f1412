#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vessamo {

// Runs another program with an argument vector — never through a shell, so
// paths with quotes, blanks or dollars reach it exactly as given. The child
// gets a process group of its own so a timeout takes down whatever it started.
// An object that goes away while its child still runs kills and reaps it.
class ChildProcess {
public:
    enum class Output {
        discard,  // standard output and error go to the null device
        capture,  // both are collected, up to kMaxCapturedBytes
    };

    struct Result {
        bool started = false;
        bool timedOut = false;
        bool stopped = false;           // the caller's keepGoing said no, and it was killed
        std::optional<int> exitStatus;  // set when the child exited on its own
        std::optional<int> signal;      // set when a signal ended it
        std::string output;             // captured standard output and error
        std::string error;              // why it could not be started or waited for

        [[nodiscard]] bool succeeded() const { return exitStatus == 0; }
        // One line for a report: how the run ended when it did not succeed.
        [[nodiscard]] std::string describeFailure() const;
    };

    static constexpr size_t kMaxCapturedBytes = 64 * 1024;

    // program is a path to an executable; arguments exclude argv[0], which
    // is the program path itself.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 Output output);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Waits for the child to end, killing it once the timeout has passed.
    // Call once; later calls return what the first found.
    Result wait(std::chrono::milliseconds timeout);
    // As wait(timeout), asking keepGoing every few milliseconds as well; when
    // it answers false, the child's whole group is killed at once.
    Result wait(std::chrono::milliseconds timeout, const std::function<bool()>& keepGoing);

    // Starts, waits and reaps in one call.
    [[nodiscard]] static Result run(const std::string& program,
                                    const std::vector<std::string>& arguments,
                                    std::chrono::milliseconds timeout,
                                    Output output = Output::discard);

    // The first executable file of that name in the folders of $PATH.
    [[nodiscard]] static std::optional<std::string> findOnPath(const std::string& name);

private:
    void start(const std::string& program, const std::vector<std::string>& arguments,
               Output output);
    void readAvailable(int waitMilliseconds);
    bool reap(bool block);
    void killGroup();
    void closeReadEnd();

    pid_t pid_ = -1;
    int readEnd_ = -1;
    bool reaped_ = false;
    Result result_;
};

}  // namespace vessamo
