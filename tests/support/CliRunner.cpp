#include "support/CliRunner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

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

pid_t startTool(const std::string& home, std::vector<std::string> args, int outFd, int errFd) {
    const pid_t child = fork();
    if (child != 0) {
        return child;
    }
    const int nullFd = open("/dev/null", O_WRONLY);
    dup2(outFd >= 0 ? outFd : nullFd, STDOUT_FILENO);
    dup2(errFd >= 0 ? errFd : nullFd, STDERR_FILENO);
    setenv("VESSAMO_HOME", home.c_str(), 1);
    std::vector<char*> argv{const_cast<char*>(VESSAMO_CLI_PATH)};
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    // The pipes' other ends are closed on exec, so the parent sees the end
    // of output when the tool exits.
    execv(VESSAMO_CLI_PATH, argv.data());
    _exit(127);
}

CliRun runTool(const std::string& home, std::vector<std::string> args,
               const std::string& interruptAfter) {
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        return {};
    }
    const pid_t child = startTool(home, std::move(args), outPipe[1], errPipe[1]);
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

bool writeSample(const std::string& home, const std::string& folder,
                 std::vector<std::string> extra) {
    extra.insert(extra.begin(), {"sample", folder});
    const CliRun run = runTool(home, extra);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return run.exitCode == 0;
}

nlohmann::json scanJson(const std::string& home, std::vector<std::string> args, int expectedExit) {
    args.insert(args.begin(), "scan");
    args.push_back("--json");
    const CliRun run = runTool(home, args);
    EXPECT_EQ(run.exitCode, expectedExit) << run.err;
    nlohmann::json parsed = nlohmann::json::parse(run.out, nullptr, false);
    EXPECT_TRUE(parsed.is_object()) << run.out.substr(0, 2000);
    return parsed;
}

void expectFields(const nlohmann::json& actual, const nlohmann::json& expected) {
    if (!expected.is_object()) {
        EXPECT_EQ(actual, expected);
        return;
    }
    for (const auto& [key, value] : expected.items()) {
        SCOPED_TRACE(key);
        ASSERT_TRUE(actual.is_object() && actual.contains(key)) << actual.dump().substr(0, 500);
        expectFields(actual[key], value);
    }
}

}  // namespace vessamo::test
