#include "common/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace vessamo {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollMilliseconds = 10;

class SpawnActions {
public:
    SpawnActions() { ok_ = ::posix_spawn_file_actions_init(&actions_) == 0; }
    ~SpawnActions() {
        if (ok_) {
            ::posix_spawn_file_actions_destroy(&actions_);
        }
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    [[nodiscard]] bool ok() const { return ok_; }
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_{};
    bool ok_ = false;
};

class SpawnAttributes {
public:
    SpawnAttributes() { ok_ = ::posix_spawnattr_init(&attributes_) == 0; }
    ~SpawnAttributes() {
        if (ok_) {
            ::posix_spawnattr_destroy(&attributes_);
        }
    }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    [[nodiscard]] bool ok() const { return ok_; }
    posix_spawnattr_t* get() { return &attributes_; }

private:
    posix_spawnattr_t attributes_{};
    bool ok_ = false;
};

// A group of its own, so a timeout can stop the tool and anything it ran;
// default signal handling and an empty mask, whatever the caller's thread
// had set.
bool prepareAttributes(SpawnAttributes& attributes) {
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    return attributes.ok() &&
           ::posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETPGROUP |
                                                            POSIX_SPAWN_SETSIGMASK |
                                                            POSIX_SPAWN_SETSIGDEF) == 0 &&
           ::posix_spawnattr_setpgroup(attributes.get(), 0) == 0 &&
           ::posix_spawnattr_setsigmask(attributes.get(), &none) == 0 &&
           ::posix_spawnattr_setsigdefault(attributes.get(), &defaults) == 0;
}

bool prepareActions(SpawnActions& actions, ChildProcess::Output output, int writeEnd) {
    if (!actions.ok() ||
        ::posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0) != 0) {
        return false;
    }
    if (output == ChildProcess::Output::capture) {
        return ::posix_spawn_file_actions_adddup2(actions.get(), writeEnd, 1) == 0 &&
               ::posix_spawn_file_actions_adddup2(actions.get(), writeEnd, 2) == 0;
    }
    return ::posix_spawn_file_actions_addopen(actions.get(), 1, "/dev/null", O_WRONLY, 0) == 0 &&
           ::posix_spawn_file_actions_adddup2(actions.get(), 1, 2) == 0;
}

bool isExecutableFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string ChildProcess::Result::describeFailure() const {
    std::string line;
    if (!started) {
        line = "could not be started: " + error;
    } else if (timedOut) {
        line = "did not finish in time and was stopped";
    } else if (stopped) {
        line = "was stopped";
    } else if (signal) {
        line = "was ended by signal " + std::to_string(*signal);
    } else if (exitStatus) {
        line = "exited with status " + std::to_string(*exitStatus);
    } else {
        line = "could not be waited for: " + error;
    }
    if (!output.empty()) {
        line += " (" + output.substr(0, 200) + ")";
    }
    return line;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           Output output) {
    start(program, arguments, output);
}

ChildProcess::~ChildProcess() {
    if (result_.started && !reaped_) {
        killGroup();
        reap(true);
    }
    closeReadEnd();
}

void ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments,
                         Output output) {
    int pipeEnds[2] = {-1, -1};
    if (output == Output::capture && ::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        result_.error = std::string("no pipe: ") + std::strerror(errno);
        return;
    }
    readEnd_ = pipeEnds[0];
    SpawnActions actions;
    SpawnAttributes attributes;
    if (!prepareActions(actions, output, pipeEnds[1]) || !prepareAttributes(attributes)) {
        result_.error = "cannot prepare the child's start";
    } else {
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        const int failed = ::posix_spawn(&pid_, program.c_str(), actions.get(), attributes.get(),
                                         argv.data(), environ);
        result_.started = failed == 0;
        if (failed != 0) {
            result_.error = program + ": " + std::strerror(failed);
        }
    }
    if (pipeEnds[1] >= 0) {
        ::close(pipeEnds[1]);
    }
    if (!result_.started) {
        closeReadEnd();
    }
}

ChildProcess::Result ChildProcess::wait(std::chrono::milliseconds timeout) {
    return wait(timeout, [] { return true; });
}

ChildProcess::Result ChildProcess::wait(std::chrono::milliseconds timeout,
                                        const std::function<bool()>& keepGoing) {
    if (!result_.started || reaped_) {
        return result_;
    }
    const Clock::time_point deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        // Exited and its output read to the end; a grandchild that keeps
        // the pipe open only holds us until the deadline.
        if (reap(false) && readEnd_ < 0) {
            break;
        }
        if (!reaped_ && !keepGoing()) {
            result_.stopped = true;
            killGroup();
            reap(true);
            break;
        }
        readAvailable(kPollMilliseconds);
    }
    if (!reaped_ && !reap(false)) {
        result_.timedOut = true;
        killGroup();
        reap(true);
    }
    closeReadEnd();
    return result_;
}

void ChildProcess::readAvailable(int waitMilliseconds) {
    if (readEnd_ < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMilliseconds));
        return;
    }
    pollfd watched{readEnd_, POLLIN, 0};
    if (::poll(&watched, 1, waitMilliseconds) <= 0) {
        return;
    }
    char buffer[4096];
    const ssize_t got = ::read(readEnd_, buffer, sizeof buffer);
    if (got > 0) {
        const size_t room = kMaxCapturedBytes - result_.output.size();
        result_.output.append(buffer, std::min(room, static_cast<size_t>(got)));
    } else if (got == 0 || errno != EINTR) {
        closeReadEnd();
    }
}

bool ChildProcess::reap(bool block) {
    if (reaped_) {
        return true;
    }
    int status = 0;
    pid_t done = -1;
    do {
        done = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done == 0) {
        return false;
    }
    reaped_ = true;
    if (done < 0) {
        result_.error = std::string("cannot wait: ") + std::strerror(errno);
    } else if (WIFEXITED(status)) {
        result_.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result_.signal = WTERMSIG(status);
    }
    return true;
}

void ChildProcess::killGroup() {
    if (pid_ > 0) {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
    }
}

void ChildProcess::closeReadEnd() {
    if (readEnd_ >= 0) {
        ::close(readEnd_);
        readEnd_ = -1;
    }
}

ChildProcess::Result ChildProcess::run(const std::string& program,
                                       const std::vector<std::string>& arguments,
                                       std::chrono::milliseconds timeout, Output output) {
    ChildProcess child(program, arguments, output);
    return child.wait(timeout);
}

std::optional<std::string> ChildProcess::findOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr || name.empty() || name.find('/') != std::string::npos) {
        return std::nullopt;
    }
    const std::string folders = path;
    size_t begin = 0;
    while (begin <= folders.size()) {
        size_t end = folders.find(':', begin);
        if (end == std::string::npos) {
            end = folders.size();
        }
        const std::string folder = folders.substr(begin, end - begin);
        // An empty entry means the working folder; a tool must not be
        // picked up from wherever the program happens to run.
        if (!folder.empty() && folder.front() == '/' && isExecutableFile(folder + "/" + name)) {
            return folder + "/" + name;
        }
        begin = end + 1;
    }
    return std::nullopt;
}

}  // namespace vessamo
