// The small value types everything else stands on: texts and their store,
// stored times, column texts, the file layer and the worker.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>

#include "common/AppleTime.h"
#include "common/Files.h"
#include "common/Status.h"
#include "common/Text.h"
#include "common/TextConversion.h"
#include "common/Worker.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempHome;
using test::writeFile;

TEST(TextStore, KeptTextsStayPutWhileTheStoreGrowsAndMoves) {
    TextStore store;
    std::vector<Text> texts;
    std::vector<std::string> expected;
    for (int i = 0; i < 20000; ++i) {
        expected.push_back("message " + std::to_string(i) +
                           std::string(static_cast<size_t>(i % 97), 'x'));
        texts.push_back(store.keep(expected.back()));
    }
    const std::string big(100000, 'b');  // longer than a block
    texts.push_back(store.keep(big));
    expected.push_back(big);
    TextStore moved = std::move(store);
    for (size_t i = 0; i < texts.size(); ++i) {
        ASSERT_EQ(texts[i], expected[i]) << i;
    }
    EXPECT_TRUE(store.keep("").empty());
    EXPECT_EQ(store.keep("again"), "again");  // a moved-from store is usable, not aliased
    EXPECT_EQ(texts[5], expected[5]);
}

TEST(TextStore, InternSharesEqualBytesAndKeepDoesNot) {
    TextStore store;
    const std::string name = "Alice";
    const Text first = store.intern(name);
    const Text second = store.intern(std::string("Ali") + "ce");
    EXPECT_EQ(first.data(), second.data());
    EXPECT_NE(store.keep(name).data(), first.data());
    EXPECT_NE(store.intern("Bob").data(), first.data());
}

TEST(Text, ReadsAndJoinsLikeAString) {
    TextStore store;
    const Text name = store.keep("Bob");
    EXPECT_EQ("Name: " + name, "Name: Bob");
    EXPECT_EQ(name + " (1)", "Bob (1)");
    EXPECT_EQ(std::string("<") + name + '>', "<Bob>");
    const std::string copy = name;
    EXPECT_EQ(copy, "Bob");
    EXPECT_EQ(Text("Send"), "Send");
    EXPECT_TRUE(Text().empty());
}

TEST(AppleTime, DisplayAndIsoTextsInTheLocalZone) {
    test::ScopedTimeZone zone("Europe/Berlin");
    // 2021-07-01 12:34:56 UTC is 14:34:56 in Berlin's summer time.
    const AppleTime summer = AppleTime::fromUnix(1625142896);
    EXPECT_EQ(displayTimeText(summer), "07-01-2021 14:34");
    EXPECT_EQ(isoTimeText(summer), "2021-07-01T14:34:56+02:00");
    EXPECT_EQ(isoTimeText(AppleTime{0}), "2001-01-01T01:00:00+01:00");
    EXPECT_EQ(summer.toUnix(), 1625142896);
    EXPECT_FALSE(AppleTime{INT64_MAX}.toUnix());
    EXPECT_FALSE(displayTimeText(AppleTime{INT64_MAX}));
}

TEST(AppleTime, TheCacheGivesWhatConvertingEachMomentGives) {
    for (const char* zone :
         {"UTC", "America/New_York", "Asia/Kolkata", "Asia/Kathmandu", "Australia/Lord_Howe"}) {
        test::ScopedTimeZone scoped(zone);
        TimeTextCache cache;
        // Steps that cross quarter hours, days and the zones' DST changes.
        for (int64_t s = 600'000'000; s < 600'000'000 + 400LL * 86400; s += 86400 / 7 + 611) {
            const AppleTime t{s};
            ASSERT_EQ(cache.display(t), displayTimeText(t)) << zone << " " << s;
            ASSERT_EQ(cache.iso(t), isoTimeText(t)) << zone << " " << s;
        }
        EXPECT_EQ(cache.display(AppleTime{-1}), displayTimeText(AppleTime{-1}));
    }
}

// Damaged records store anything, up to the saturated ends of a 64-bit
// number: such moments have no date, and working that out overflows
// nothing (the sanitizer build checks the arithmetic).
TEST(AppleTime, MomentsBeyondAnyCalendarHaveNoDate) {
    test::ScopedTimeZone zone("Asia/Kathmandu");
    TimeTextCache cache;
    const double inf = std::numeric_limits<double>::infinity();
    for (const double seconds : {-inf, inf, -9.3e18, 9.3e18, -9.2e18, 1e300}) {
        const std::optional<AppleTime> time = AppleTime::fromSeconds(seconds);
        ASSERT_TRUE(time) << seconds;
        EXPECT_FALSE(time->hasDate()) << seconds;
        EXPECT_FALSE(cache.display(*time)) << seconds;
        EXPECT_FALSE(isoTimeText(*time)) << seconds;
    }
    EXPECT_FALSE(AppleTime::fromSeconds(std::nan("")));
    for (const int64_t seconds : {INT64_MIN, INT64_MIN + 1, INT64_MAX, -(int64_t{1} << 55) - 1}) {
        EXPECT_FALSE(cache.display(AppleTime{seconds})) << seconds;
        EXPECT_FALSE(cache.iso(AppleTime{seconds})) << seconds;
    }
    EXPECT_EQ(AppleTime::fromSeconds(-0.9)->seconds, 0);  // toward zero, as SQLite does
    EXPECT_EQ(cache.display(AppleTime{-63'000'000'000}),
              displayTimeText(AppleTime{-63'000'000'000}));
}

TEST(Files, ReadWholeFileTakesRegularFilesOnly) {
    TempHome home;
    const std::string file = home.path() + "/a.bin";
    writeFile(file, std::string("a\0b", 3));
    auto bytes = readWholeFile(file);
    ASSERT_TRUE(bytes.ok());
    EXPECT_EQ(*bytes, std::string("a\0b", 3));
    EXPECT_TRUE(readWholeFile(home.path() + "/missing").status().is(StatusCode::notFound));
    EXPECT_TRUE(readWholeFile(home.path()).status().is(StatusCode::invalid));
    EXPECT_TRUE(readWholeFile(file, 2).status().is(StatusCode::invalid));
    const std::string fifo = home.path() + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(readWholeFile(fifo).status().is(StatusCode::invalid));  // and does not block
}

TEST(Files, AtomicWritesReplaceLinksInsteadOfFollowingThem) {
    TempHome home;
    const std::string outside = home.path() + "/outside.txt";
    writeFile(outside, "precious");
    const std::string target = home.path() + "/out.txt";
    fs::create_symlink(outside, target);
    ASSERT_TRUE(writeFileAtomically(target, "new").ok());
    EXPECT_EQ(readFile(outside), "precious");
    EXPECT_FALSE(fs::is_symlink(target));
    EXPECT_EQ(readFile(target), "new");

    const Status kept = writeFileAtomically(target, "other", WriteMode::keepExisting);
    EXPECT_TRUE(kept.is(StatusCode::alreadyExists));
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(home.path()), fs::directory_iterator()), 2)
        << "no temporary file is left behind";
}

TEST(Files, AFailedWriteLeavesTheOldFileWhole) {
    TempHome home;
    const std::string target = home.path() + "/out.txt";
    writeFile(target, "old");
    {
        AtomicFileWriter writer(target);
        writer.append("half of the ne");
        // Never committed: abandoned.
    }
    EXPECT_EQ(readFile(target), "old");
    const Status missingFolder = writeFileAtomically(home.path() + "/no/such/x", "x");
    EXPECT_FALSE(missingFolder.ok());
    EXPECT_TRUE(makeFolders(home.path() + "/no/such").ok());
    EXPECT_TRUE(writeFileAtomically(home.path() + "/no/such/x", "x").ok());
    writeFile(home.path() + "/plain", "");
    EXPECT_FALSE(makeFolders(home.path() + "/plain").ok());
}

TEST(Files, SafeFileNamesAreOneHarmlessComponent) {
    struct Case {
        std::string name;
        std::string safe;
    };
    const std::vector<Case> cases = {
        {"", "_"},
        {".", "_"},
        {"..", "__"},
        {"a/b", "a_b"},
        {"../../etc", ".._.._etc"},
        {std::string("a\0b", 3), "a_b"},
        {"Zoë 😀", "Zoë 😀"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(safeFileName(c.name), c.safe) << c.name;
    }
    // Cut on a character boundary: 199 ASCII bytes then a 2-byte letter.
    const std::string longName = std::string(199, 'a') + "ë" + "tail";
    const std::string cut = safeFileName(longName);
    EXPECT_EQ(cut, std::string(199, 'a'));
    EXPECT_EQ(lastComponent("a/b/c.jpg"), "c.jpg");
    EXPECT_EQ(lastComponent("c.jpg"), "c.jpg");
}

TEST(Worker, StopsAndJoinsWhenItGoes) {
    std::atomic<bool> sawStop{false};
    {
        Worker worker;
        ASSERT_TRUE(worker.start([&](std::stop_token stop) {
            while (!stop.stop_requested()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            sawStop = true;
        }));
        EXPECT_FALSE(worker.start([](std::stop_token) {})) << "one piece of work at a time";
    }
    EXPECT_TRUE(sawStop);
}

TEST(WorkerSet, JoinAllWaitsWithoutStopping) {
    WorkerSet workers;
    std::atomic<int> finished{0};
    for (int i = 0; i < 4; ++i) {
        workers.start([&](std::stop_token stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (!stop.stop_requested()) {
                ++finished;
            }
        });
    }
    workers.joinAll();
    EXPECT_EQ(finished, 4);
    EXPECT_EQ(workers.running(), 0u);
}

TEST(Status, CodesMessagesAndValues) {
    errno = ENOENT;
    EXPECT_TRUE(Status::fromErrno("open x").is(StatusCode::notFound));
    EXPECT_EQ(Status::corrupt("chat.sqlite").toString(), "damaged: chat.sqlite");
    StatusOr<int> value = 3;
    EXPECT_TRUE(value.ok());
    EXPECT_EQ(*value, 3);
    StatusOr<int> failure = Status::notFound("x");
    EXPECT_EQ(failure.status().code(), StatusCode::notFound);
    StatusOr<int> misuse = Status();
    EXPECT_FALSE(misuse.ok()) << "an OK status is not a value";
}

TEST(TextConversion, ColumnTextsBecomeOneBlankWhenEmptyOrMalformed) {
    EXPECT_EQ(GetStringFormChar(std::optional<std::string>()), " ");
    EXPECT_EQ(GetStringFormChar(std::string()), " ");
    EXPECT_EQ(GetStringFormChar(std::string("\xC3\x28", 2)), " ");          // bad continuation
    EXPECT_EQ(GetStringFormChar(std::string("\xE2\x82", 2)), " ");          // cut sequence
    EXPECT_EQ(GetStringFormChar(std::string("\xC0\xAF", 2)), " ");          // overlong "/"
    EXPECT_EQ(GetStringFormChar(std::string("\xED\xA0\x80", 3)), " ");      // surrogate
    EXPECT_EQ(GetStringFormChar(std::string("\xF4\x90\x80\x80", 4)), " ");  // past U+10FFFF
    EXPECT_EQ(GetStringFormChar(std::string("Grüße 👋")), "Grüße 👋");
    EXPECT_EQ(GetStringFormChar(std::string("cut\0here", 8)), "cut");
    EXPECT_EQ(GetStringFormChar(std::string("\0here", 5)), " ");
}

TEST(TextConversion, CaseInsensitiveContainsIsAsciiOnly) {
    EXPECT_TRUE(containsCaseInsensitive("Message/MEDIA/x.jpg", "message/media/"));
    EXPECT_TRUE(containsCaseInsensitive("AAA~WhatsApp~x", "~whatsapp"));
    EXPECT_FALSE(containsCaseInsensitive("Messages/Media", "message/media/"));
    EXPECT_TRUE(containsCaseInsensitive("anything", ""));
}

}  // namespace
}  // namespace vessamo
