#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "common/ChildProcess.h"
#include "common/SystemLog.h"
#include "export/OpusConversion.h"
#include "sample/SampleVoiceNote.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

mode_t modeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

class OpusConversion : public ::testing::Test {
protected:
    // A stand-in decoder: records its arguments, one a line, then runs body.
    void installDecoder(const std::string& body) {
        test::writeFile(decoderToolPath(),
                        "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; "
                        "done > '" +
                            argsFile + "'\n" + body + "\n");
        ::chmod(decoderToolPath().c_str(), 0600);
    }

    test::TempHome home;
    std::string argsFile = home.path() + "/args";
    std::string input = home.path() + "/voice notes/it's \"mine\" $HOME.opus";
    OpusConversionOptions options;

    void SetUp() override {
        test::writeFile(input, sample::sampleVoiceNote());
        options.timeout = milliseconds(5000);
    }
};

TEST_F(OpusConversion, DecoderGetsTheExactPathsAsArgumentsAndBecomes0755) {
    installDecoder("printf RIFF > \"$2\"");
    const WavConversion saved = ConvertSaveOPUSFiletoWAVFileFormat(input, options);
    const std::string wav = home.path() + "/voice notes/it's \"mine\" $HOME.wav";
    EXPECT_EQ(saved.path, wav);
    EXPECT_EQ(linesOf(test::readFile(argsFile)), (std::vector<std::string>{input, wav}));
    EXPECT_EQ(test::readFile(wav), "RIFF");
    EXPECT_EQ(saved.report.filesWritten, 1u);
    EXPECT_TRUE(saved.report.failures.empty());
    EXPECT_EQ(modeOf(decoderToolPath()), 0755u);

    options.playFolder = home.path() + "/play";
    fs::create_directories(options.playFolder);
    const WavConversion played = ConvertOPUStoWAVFileFormat(input, options);
    EXPECT_EQ(played.path, options.playFolder + "/it's \"mine\" $HOME.wav");
    EXPECT_EQ(linesOf(test::readFile(argsFile)), (std::vector<std::string>{input, played.path}));
    EXPECT_FALSE(played.awaitingTool);
}

TEST_F(OpusConversion, PlayingWithoutAFolderUsesAPrivateOne) {
    // The private folder outlives the run by design: keep it in the test's
    // own temporary folder.
    const test::ScopedTemporaryRoot temporary(home.path() + "/tmp-root");
    installDecoder("printf RIFF > \"$2\"");
    const WavConversion played = ConvertOPUStoWAVFileFormat(input, options);
    ASSERT_TRUE(played.report.failures.empty());
    const fs::path folder = fs::path(played.path).parent_path();
    EXPECT_EQ(folder.parent_path(), fs::path(temporary.path()));
    EXPECT_EQ(modeOf(folder.string()), 0700u);
    EXPECT_EQ(test::readFile(played.path), "RIFF");
}

TEST_F(OpusConversion, AFailingSilentOrHangingDecoderIsReportedAndItsOutputPathStillGiven) {
    options.timeout = milliseconds(300);
    const std::pair<const char*, const char*> decoders[] = {{"exit 3", "status 3"},
                                                            {"exit 0", "wrote no file"},
                                                            {"sleep 30", "did not finish in time"}};
    for (const auto& [body, failure] : decoders) {
        installDecoder(body);
        const auto started = std::chrono::steady_clock::now();
        const WavConversion failed = ConvertSaveOPUSFiletoWAVFileFormat(input, options);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
        EXPECT_EQ(failed.path, home.path() + "/voice notes/it's \"mine\" $HOME.wav");
        EXPECT_EQ(failed.report.filesWritten, 0u);
        ASSERT_EQ(failed.report.failures.size(), 1u) << body;
        EXPECT_NE(failed.report.failures[0].find(failure), std::string::npos) << body;
    }
}

TEST_F(OpusConversion, WithNoDecoderAtAllTheDownloadHookGetsTheFile) {
    fs::create_directories(home.path() + "/empty");
    test::ScopedPath path(home.path() + "/empty");
    std::vector<std::string> requested;
    options.downloadTool = [&requested](const std::string& opus) { requested.push_back(opus); };

    const WavConversion saved = ConvertSaveOPUSFiletoWAVFileFormat(input, options);
    EXPECT_TRUE(saved.awaitingTool);
    EXPECT_EQ(saved.path, input);
    const WavConversion played = ConvertOPUStoWAVFileFormat(input, options);
    EXPECT_TRUE(played.awaitingTool);
    EXPECT_EQ(played.path, "");
    EXPECT_EQ(requested, (std::vector<std::string>{input, input}));
    EXPECT_TRUE(saved.report.failures.empty());

    SystemLog::Capture log;
    const WavConversion unhooked = ConvertSaveOPUSFiletoWAVFileFormat(input);
    EXPECT_TRUE(log.contains("the decoder tool is missing"));
    EXPECT_EQ(unhooked.report.failures.size(), 1u);
}

TEST(ChildProcess, ArgumentsArriveUnchangedAndOutputIsCaptured) {
    const auto echo = ChildProcess::findOnPath("echo");
    ASSERT_TRUE(echo);
    const auto result = ChildProcess::run(*echo, {"a  b", "'$x'", "\"q\""}, milliseconds(5000),
                                          ChildProcess::Output::capture);
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.output, "a  b '$x' \"q\"\n");

    const auto missing = ChildProcess::run("/nonexistent/tool", {}, milliseconds(1000),
                                           ChildProcess::Output::discard);
    EXPECT_FALSE(missing.started);
    EXPECT_FALSE(missing.succeeded());
    EXPECT_NE(missing.describeFailure().find("could not be started"), std::string::npos);
}

}  // namespace
}  // namespace vessamo
