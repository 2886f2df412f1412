// Reads confined to a source folder, writes confined to a destination: the
// file layer's answer to folders somebody else made.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "common/ConfinedFiles.h"
#include "common/Files.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempHome;
using test::treeDigest;
using test::writeFile;

// Every read case runs both ways: through openat2 where the kernel has it,
// and one step at a time as on kernels without it.
class ConfinedReads : public ::testing::TestWithParam<bool> {
protected:
    ConfinedReads() {
        allowKernelConfinement(GetParam());
        writeFile(outside + "/secret", "not yours");
        writeFile(source + "/7c/7c7f", "chat database");
        fs::create_directory_symlink(outside, source + "/ab");
        fs::create_symlink(outside + "/secret", source + "/7c/linked");
        ::mkfifo((source + "/7c/fifo").c_str(), 0600);
    }
    ~ConfinedReads() override { allowKernelConfinement(true); }

    TempHome home;
    std::string source = home.path() + "/backup";
    std::string outside = home.path() + "/outside";
};

TEST_P(ConfinedReads, OnlyRegularFilesInsideTheFolderAreRead) {
    if (GetParam() && !kernelConfinesLookups()) {
        GTEST_SKIP() << "this kernel confines no look-ups itself";
    }
    const StatusOr<std::string> plain = readWholeFile(PathWithin{source, source + "/7c/7c7f"});
    ASSERT_TRUE(plain.ok()) << plain.status().toString();
    EXPECT_EQ(*plain, "chat database");
    // A trailing slash on the folder, as iCloud's unpack folder has, is the same folder.
    EXPECT_TRUE(isSourceFile({source + "/", source + "/7c/7c7f"}));

    const std::vector<std::string> refused = {
        source + "/7c/linked",                // a link to a file elsewhere
        source + "/ab/secret",                // through a linked folder
        source + "/7c/../../outside/secret",  // climbing out
        source + "/7c/fifo",                  // no regular file (and no hang)
        source + "/7c",                       // a folder
        outside + "/secret",                  // not below the folder at all
    };
    for (const std::string& path : refused) {
        const StatusOr<std::string> read = readWholeFile(PathWithin{source, path});
        EXPECT_TRUE(read.status().is(StatusCode::invalid))
            << path << ": " << read.status().toString();
        EXPECT_NE(read.status().message().find(kNotRegularInside), std::string::npos);
    }
    EXPECT_TRUE(
        readWholeFile(PathWithin{source, source + "/7c/gone"}).status().is(StatusCode::notFound));
    // Without a wider folder, the file's own folder is the limit.
    EXPECT_FALSE(isSourceFile({{}, source + "/7c/linked"}));
    EXPECT_TRUE(isSourceFile({{}, source + "/7c/7c7f"}));
}

INSTANTIATE_TEST_SUITE_P(BothWays, ConfinedReads, ::testing::Values(true, false),
                         [](const auto& way) { return way.param ? "kernel" : "stepByStep"; });

TEST(ConfinedPaths, StoredPathsThatClimbOrStartAtTheRootAreNotPlain) {
    for (const char* ok : {"Media/a.jpg", "a", "Message/Media/1/2/x.thumb", "a//b", "..a/b.."}) {
        EXPECT_TRUE(isPlainRelativePath(ok)) << ok;
    }
    for (const char* bad : {"", "/etc/passwd", "../x", "Media/../../x", "a/./b", ".", "a/.."}) {
        EXPECT_FALSE(isPlainRelativePath(bad)) << bad;
    }
}

class ConfinedWrites : public ::testing::Test {
protected:
    ConfinedWrites() { writeFile(outside + "/victim.txt", "keep me"); }

    TempHome home;
    std::string out = home.path() + "/out";
    std::string outside = home.path() + "/outside";
};

TEST_F(ConfinedWrites, FoldersAreMadeStepByStepAndNeverThroughALink) {
    ASSERT_TRUE(makeFoldersWithin({out, out + "/Media Files/Photos"}).ok());
    EXPECT_TRUE(fs::is_directory(out + "/Media Files/Photos"));

    fs::create_directory_symlink(outside, out + "/Chats");
    writeFile(out + "/Contact", "a file where a folder belongs");
    const auto before = treeDigest(outside);
    const Status throughLink = makeFoldersWithin({out, out + "/Chats/deeper"});
    EXPECT_TRUE(throughLink.is(StatusCode::invalid)) << throughLink.toString();
    EXPECT_NE(throughLink.message().find(out + "/Chats is a link"), std::string::npos);
    EXPECT_FALSE(makeFoldersWithin({out, out + "/Contact"}).ok());
    EXPECT_FALSE(makeFoldersWithin({out, home.path() + "/elsewhere"}).ok());
    EXPECT_FALSE(
        writeFileAtomically(out + "/Chats/page.html", "x", WriteMode::replace, Flush::none, out)
            .ok());
    EXPECT_EQ(treeDigest(outside), before);
    EXPECT_FALSE(fs::exists(outside + "/deeper"));
    EXPECT_FALSE(fs::exists(home.path() + "/elsewhere"));
}

TEST_F(ConfinedWrites, AFileIsReplacedWholeSoAHardLinkedFileKeepsItsBytes) {
    ASSERT_TRUE(makeFoldersWithin({out, out + "/Chats"}).ok());
    ASSERT_EQ(::link((outside + "/victim.txt").c_str(), (out + "/Chats/Anna.txt").c_str()), 0);
    ASSERT_TRUE(writeFileAtomically(out + "/Chats/Anna.txt", "the chat", WriteMode::replace,
                                    Flush::none, out)
                    .ok());
    EXPECT_EQ(readFile(out + "/Chats/Anna.txt"), "the chat");
    EXPECT_EQ(readFile(outside + "/victim.txt"), "keep me");
    // Nothing is left of the temporary file.
    EXPECT_EQ(test::namesIn(out + "/Chats"), (std::set<std::string>{"Anna.txt"}));
}

TEST_F(ConfinedWrites, AStreamedCopyKeepsEveryByte) {
    std::string big(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>(i * 31 % 251);
    }
    writeFile(home.path() + "/src/video.mp4", big);
    const StatusOr<UniqueFd> in =
        openSourceFile({home.path() + "/src", home.path() + "/src/video.mp4"});
    ASSERT_TRUE(in.ok());
    ASSERT_TRUE(makeFoldersWithin({out, out}).ok());
    std::vector<char> buffer(64 * 1024);  // far smaller than the file
    AtomicFileWriter writer(out + "/video.mp4", WriteMode::replace, Flush::none, out);
    writer.appendFrom(in->get(), big.size(), buffer);
    ASSERT_TRUE(writer.commit().ok());
    EXPECT_EQ(readFile(out + "/video.mp4"), big);
}

}  // namespace
}  // namespace vessamo
