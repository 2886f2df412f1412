#include "support/CliRunner.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace vessamo::test {

namespace {

std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(fd, buffer, sizeof(buffer))) > 0) {
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

}  // namespace

// Starts the tool with stdout and stderr on pipes. When interruptAfter is
// set, Ctrl-C is sent as soon as stderr shows that text.
CliRun runTool(const std::string& home, std::vector<std::string> args,
               const std::string& interruptAfter) {
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) {
        return {};
    }
    pid_t child = fork();
    if (child == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        close(outPipe[0]);
        close(errPipe[0]);
        setenv("VESSAMO_HOME", home.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(VESSAMO_CLI_PATH)};
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        execv(VESSAMO_CLI_PATH, argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    CliRun result;
    if (!interruptAfter.empty()) {
        char c = 0;
        while (read(errPipe[0], &c, 1) == 1) {
            result.err += c;
            if (result.err.find(interruptAfter) != std::string::npos) {
                kill(child, SIGINT);
                break;
            }
        }
    }
    result.out = readAll(outPipe[0]);
    result.err += readAll(errPipe[0]);
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace vessamo::test
