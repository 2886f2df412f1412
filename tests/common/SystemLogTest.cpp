#include "common/SystemLog.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace vessamo {
namespace {

TEST(SystemLogCapture, StripsExactlyOneTrailingNewline) {
    SystemLog::Capture capture;
    SystemLog::write("ends with newline\n");
    SystemLog::write("ends with two\n\n");
    SystemLog::write("");
    EXPECT_EQ(capture.lines(),
              (std::vector<std::string>{"ends with newline", "ends with two\n", ""}));
}

// Each capture, nested or not, sees exactly the lines written while it
// lives, on any thread.
TEST(SystemLogCapture, SeesTheLinesOfItsOwnLifetimeFromAnyThread) {
    SystemLog::write("written before any capture existed");
    std::vector<std::string> innerLines;
    SystemLog::Capture outer;
    SystemLog::write("before inner");
    {
        SystemLog::Capture inner;
        std::thread writer([] {
            for (int i = 0; i < 100; ++i) {
                SystemLog::write("worker line " + std::to_string(i));
            }
        });
        writer.join();
        innerLines = inner.lines();
    }
    SystemLog::write("after inner");
    SystemLog::Capture later;
    ASSERT_EQ(innerLines.size(), 100u);
    EXPECT_EQ(innerLines.front(), "worker line 0");
    EXPECT_EQ(innerLines.back(), "worker line 99");
    const std::vector<std::string> outerLines = outer.lines();
    ASSERT_EQ(outerLines.size(), 102u);
    EXPECT_EQ(outerLines.front(), "before inner");
    EXPECT_EQ(outerLines.back(), "after inner");
    EXPECT_TRUE(later.lines().empty());
}

TEST(SystemLogCapture, ContainsMatchesFragmentsOfAnyLine) {
    SystemLog::Capture capture;
    SystemLog::write("Manifest.db: opened 1234 records");
    SystemLog::write("second line");
    EXPECT_TRUE(capture.contains("1234 records"));
    EXPECT_TRUE(capture.contains("second"));
    EXPECT_FALSE(capture.contains("third"));
    EXPECT_FALSE(capture.contains("records\nsecond"));  // fragments never span lines
}

TEST(SystemLogEcho, EchoesToStderrOnlyWhenEnabled) {
    testing::internal::CaptureStderr();
    SystemLog::write("quiet line");
    SystemLog::setEchoToStderr(true);
    SystemLog::write("loud line\n");
    SystemLog::setEchoToStderr(false);
    SystemLog::write("quiet again");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "loud line\n");
}

TEST(SystemLogTrace, TraceLinesReachCapturesOnlyWhileSomeoneListens) {
    EXPECT_FALSE(SystemLog::tracing());
    SystemLog::Capture capture;
    EXPECT_TRUE(SystemLog::tracing());
    SystemLog::trace("domain:AppDomain-net.whatsapp.WhatsApp\n");
    SystemLog::write("plain line\n");
    EXPECT_EQ(capture.lines(),
              (std::vector<std::string>{"domain:AppDomain-net.whatsapp.WhatsApp", "plain line"}));
}

}  // namespace
}  // namespace vessamo
