#include "common/SystemLog.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace vessamo {
namespace {

TEST(SystemLogCapture, SeesLinesFromAnotherThread) {
    SystemLog::Capture capture;
    std::thread writer([] {
        for (int i = 0; i < 100; ++i) {
            SystemLog::write("worker line " + std::to_string(i));
        }
    });
    writer.join();
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 100u);
    EXPECT_EQ(lines.front(), "worker line 0");
    EXPECT_EQ(lines.back(), "worker line 99");
}

TEST(SystemLogCapture, StripsExactlyOneTrailingNewline) {
    SystemLog::Capture capture;
    SystemLog::write("ends with newline\n");
    SystemLog::write("ends with two\n\n");
    SystemLog::write("");
    EXPECT_EQ(capture.lines(),
              (std::vector<std::string>{"ends with newline", "ends with two\n", ""}));
}

TEST(SystemLogCapture, NestedCapturesEachSeeTheirOwnLifetime) {
    SystemLog::Capture outer;
    SystemLog::write("before inner");
    {
        SystemLog::Capture inner;
        SystemLog::write("during inner");
        EXPECT_EQ(inner.lines(), std::vector<std::string>{"during inner"});
    }
    SystemLog::write("after inner");
    EXPECT_EQ(outer.lines(),
              (std::vector<std::string>{"before inner", "during inner", "after inner"}));
}

TEST(SystemLogCapture, LinesWrittenBeforeOrAfterAreNotSeen) {
    SystemLog::write("written before the capture existed");
    std::vector<std::string> seenDuringLifetime;
    {
        SystemLog::Capture capture;
        SystemLog::write("inside");
        seenDuringLifetime = capture.lines();
    }
    SystemLog::Capture later;
    EXPECT_EQ(seenDuringLifetime, std::vector<std::string>{"inside"});
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

}  // namespace
}  // namespace vessamo

namespace vessamo {
namespace {

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
