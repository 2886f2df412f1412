#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/CliRunner.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Interrupted {
    int exitCode = -1;
    std::string err;
    bool signalSent = false;
    // What the system's temporary folder held when the signal went.
    std::vector<std::string> temporaryAtSignal;
    Clock::duration signalToExit{};
};

// Runs the command line and sends signal once stderr shows marker; stdout
// goes to the null device, stderr is read to its end.
Interrupted interruptAt(const std::string& home, std::vector<std::string> args,
                        const std::string& marker, int signal,
                        const test::ScopedTemporaryRoot& temporary) {
    int errPipe[2];
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        return {};
    }
    const pid_t child = test::startTool(home, std::move(args), -1, errPipe[1]);
    close(errPipe[1]);
    Interrupted run;
    Clock::time_point sent;
    char c = 0;
    while (read(errPipe[0], &c, 1) == 1) {
        run.err += c;
        if (!run.signalSent && run.err.find(marker) != std::string::npos) {
            run.temporaryAtSignal = temporary.entries();
            sent = Clock::now();
            kill(child, signal);
            run.signalSent = true;
        }
    }
    close(errPipe[0]);
    int status = 0;
    waitpid(child, &status, 0);
    run.signalToExit = Clock::now() - sent;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Files an atomic write had begun and not finished, anywhere below folder.
std::vector<std::string> unfinishedFiles(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename().string().rfind(".vessamo", 0) == 0) {
            found.push_back(it->path().string());
        }
    }
    return found;
}

class CliInterrupt : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        home_ = new test::TempHome;
        backup_ = home_->path() + "/big";
        (void)test::writeSample(home_->path(), backup_, {"--media", "20000"});
    }
    static void TearDownTestSuite() {
        delete home_;
        home_ = nullptr;
    }

    static test::TempHome* home_;
    static std::string backup_;
};

test::TempHome* CliInterrupt::home_ = nullptr;
std::string CliInterrupt::backup_;

// Once the pages are being written, Ctrl-C and SIGTERM end the export
// promptly with 128 + the signal, leave no half-written file and no
// scratch folder behind.
TEST_F(CliInterrupt, ASignalStopsAnExportAndLeavesNothingHalfDone) {
    ASSERT_TRUE(fs::is_directory(backup_));
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const test::ScopedTemporaryRoot temporary(home_->path() + "/tmp" + std::to_string(signal));
        const std::string out = home_->path() + "/out" + std::to_string(signal);
        const Interrupted run = interruptAt(home_->path(), {"export", backup_, "--to", out},
                                            "export: ", signal, temporary);
        ASSERT_TRUE(run.signalSent) << run.err;
        EXPECT_EQ(run.exitCode, 128 + signal) << run.err;
        EXPECT_LT(run.signalToExit, std::chrono::seconds(3));
        EXPECT_TRUE(test::contains(run.err, "The export was stopped")) << run.err;
        EXPECT_FALSE(test::contains(run.err, "export: 100%"));
        EXPECT_EQ(temporary.entries(), std::vector<std::string>{});
        EXPECT_EQ(unfinishedFiles(out), std::vector<std::string>{});
    }
}

// A scan cut short is no export: nothing is written from a partial result,
// and the copies of the databases the scan was reading are gone.
TEST_F(CliInterrupt, AnExportWhoseScanWasStoppedExportsNothing) {
    ASSERT_TRUE(fs::is_directory(backup_));
    const test::ScopedTemporaryRoot temporary(home_->path() + "/tmp-scan");
    const std::string out = home_->path() + "/out-scan";
    const Interrupted run = interruptAt(home_->path(), {"export", backup_, "--to", out},
                                        "progress: 1%", SIGINT, temporary);
    ASSERT_TRUE(run.signalSent) << run.err;
    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_TRUE(test::contains(run.err, "nothing was exported")) << run.err;
    EXPECT_FALSE(test::contains(run.err, "export: "));
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(run.temporaryAtSignal.empty());  // the scan's copies were there
    EXPECT_EQ(temporary.entries(), std::vector<std::string>{});
}

}  // namespace
}  // namespace vessamo
