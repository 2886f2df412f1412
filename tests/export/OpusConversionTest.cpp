#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "common/ChildProcess.h"
#include "common/Sha256.h"
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
    // Downloaded, as far as the program can tell: its checksum is recorded.
    void installDecoder(const std::string& body) {
        test::writeFile(decoderToolPath(),
                        "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; "
                        "done > '" +
                            argsFile + "'\n" + body + "\n");
        ::chmod(decoderToolPath().c_str(), 0600);
        ASSERT_TRUE(recordDownloadedDecoder().ok());
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

// A decoder someone else put where the downloaded one lives never runs: it
// would leave its marker file. A packaged decoder on PATH is used instead.
TEST_F(OpusConversion, APlantedOrChangedDecoderIsNotRun) {
    const std::string marker = home.path() + "/planted-ran";
    const std::string body = "touch '" + marker + "'; printf RIFF > \"$2\"";
    fs::create_directories(home.path() + "/no tools");
    const test::ScopedPath noPackagedDecoder(home.path() + "/no tools");
    const struct {
        const char* name;
        void (*spoil)(const std::string& tool);
        const char* reason;
    } cases[] = {
        {"changed after its download",
         [](const std::string& tool) { test::writeFile(tool, "#!/bin/sh\ntouch planted\n"); },
         "checksum differs"},
        {"writable by the group", [](const std::string& tool) { ::chmod(tool.c_str(), 0620); },
         "other users can change it"},
        {"in a folder others can write",
         [](const std::string& tool) { ::chmod(fs::path(tool).parent_path().c_str(), 0777); },
         "replace it in its folder"},
        {"never downloaded",
         [](const std::string& tool) {
             ::chmod(fs::path(tool).parent_path().c_str(), 0700);
             fs::remove(decoderChecksumPath());
         },
         "no checksum was recorded"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        installDecoder(body);
        c.spoil(decoderToolPath());
        const WavConversion refused = ConvertSaveOPUSFiletoWAVFileFormat(input, options);
        EXPECT_FALSE(fs::exists(marker));
        EXPECT_FALSE(fs::exists(argsFile));
        EXPECT_FALSE(refused.awaitingTool);  // nothing to download over it either
        ASSERT_EQ(refused.report.failures.size(), 1u);
        EXPECT_NE(refused.report.failures[0].find(c.reason), std::string::npos)
            << refused.report.failures[0];
        fs::remove(marker);
    }

    const std::string tools = home.path() + "/tools";
    test::writeFile(tools + "/opusdec", "#!/bin/sh\nprintf PACKAGED > \"$2\"\n");
    ::chmod((tools + "/opusdec").c_str(), 0755);
    const test::ScopedPath packaged(tools);
    const WavConversion converted = ConvertSaveOPUSFiletoWAVFileFormat(input, options);
    EXPECT_TRUE(converted.report.failures.empty());
    EXPECT_EQ(test::readFile(converted.path), "PACKAGED");
    EXPECT_FALSE(fs::exists(marker));
}

// A FIFO would keep the decoder waiting for ever; the decoder's own words
// say why it failed.
TEST_F(OpusConversion, OnlyRegularFilesConvertAndTheDecodersWordsAreKept) {
    installDecoder("echo 'cannot open output: Read-only file system' >&2; exit 1");
    const std::string fifo = home.path() + "/voice notes/pipe.opus";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& odd : {fifo, home.path() + "/voice notes"}) {
        const WavConversion refused = ConvertSaveOPUSFiletoWAVFileFormat(odd, options);
        ASSERT_EQ(refused.report.failures.size(), 1u) << odd;
        EXPECT_NE(refused.report.failures[0].find("not a regular file"), std::string::npos);
        EXPECT_FALSE(fs::exists(argsFile));
    }
    const WavConversion failed = ConvertSaveOPUSFiletoWAVFileFormat(input, options);
    ASSERT_EQ(failed.report.failures.size(), 1u);
    EXPECT_NE(failed.report.failures[0].find("status 1 (cannot open output: Read-only"),
              std::string::npos)
        << failed.report.failures[0];
}

// Known answers of FIPS 180-4, the last across a block boundary.
TEST(Sha256, GivesTheStandardDigests) {
    EXPECT_EQ(Sha256::ofBytes(""),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256::ofBytes("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256::ofBytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256::ofBytes(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
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
