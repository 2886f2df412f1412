#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "common/ChildProcess.h"
#include "export/ReportText.h"
#include "support/CliRunner.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

size_t countOf(const std::string& text, std::string_view part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// The page as a browser builds it, scripts run: Debian's headless Chromium.
std::string renderedDom(const std::string& file, const std::string& fragment = "") {
    const std::optional<std::string> chromium = ChildProcess::findOnPath("chromium");
    if (!chromium) {
        ADD_FAILURE() << "chromium is not installed (scripts/setup installs it)";
        return "";
    }
    std::string url = "file://";
    for (const fs::path& part : fs::path(file)) {
        if (part != "/") {
            url.append("/").append(urlComponent(part.string()));
        }
    }
    const ChildProcess::Result run =
        ChildProcess::run(*chromium,
                          {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                           "--dump-dom", "--virtual-time-budget=3000", url + fragment},
                          std::chrono::seconds(30), ChildProcess::Output::capture);
    EXPECT_TRUE(run.succeeded()) << run.describeFailure() << run.output;
    return run.output;
}

class ReportInBrowser : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::writeSample(home.path(), backup));
        const test::CliRun run =
            test::runTool(home.path(), {"export", backup, "--to", out, "--report", "--deleted"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }

    // The conversation whose JSON holds a message text with part in it.
    [[nodiscard]] json chatWith(std::string_view part) const {
        for (const fs::directory_entry& entry : fs::directory_iterator(report + "/Chats")) {
            if (entry.path().extension() != ".json") {
                continue;
            }
            json chat = json::parse(test::readFile(entry.path()));
            for (const json& message : chat["messages"]) {
                if (message.value("text", "").find(part) != std::string::npos) {
                    return chat;
                }
            }
        }
        return json();
    }

    test::TempHome home;
    std::string backup = home.path() + "/backup";
    std::string out = home.path() + "/out";
    std::string report = out + "/Report";
};

// One rendered group page: a bubble per message under its author, a line
// per day, every recovered message marked, and a message's markup shown as
// text rather than run.
TEST_F(ReportInBrowser, AGroupPageRendersEveryMessageAndNoInjectedScript) {
    const json chat = chatWith("<script>");
    ASSERT_TRUE(chat.is_object()) << "the sample has a message with markup";
    ASSERT_TRUE(chat["chat"]["isGroup"].get<bool>());
    const std::string dom =
        renderedDom(report + "/Chats/" + chat["chat"]["pages"][0].get<std::string>());
    ASSERT_NE(dom.find("</html>"), std::string::npos) << dom;

    size_t bubbles = 0;
    size_t recovered = 0;
    std::set<std::string> authors;
    std::set<std::string> days;
    std::map<std::string, size_t> places;
    for (const json& message : chat["messages"]) {
        if (message["kind"] != "message") {
            continue;
        }
        ++bubbles;
        recovered += message["recovered"].get<bool>() ? 1 : 0;
        if (message["recovered"].get<bool>()) {
            ASSERT_TRUE(message["origin"].is_string()) << message.dump();
            std::string place = message["origin"].get<std::string>();
            place.append(message["textCut"].get<bool>() ? " \u00b7 text cut" : "");
            ++places[place];
        }
        authors.insert(message["author"].get<std::string>());
        days.insert(message["time"].get<std::string>().substr(0, 10));
    }
    EXPECT_GT(authors.size(), 2u);
    EXPECT_GT(recovered, 0u);
    EXPECT_EQ(countOf(dom, "<div class=\"msg "), bubbles);
    EXPECT_EQ(countOf(dom, "<div class=\"flag\">Recovered</div>"), recovered);
    // Each says where in the chat database it was found.
    for (const auto& [place, count] : places) {
        std::string shown = "deleted \u00b7 found in ";
        shown.append(place).append("</span>");
        EXPECT_EQ(countOf(dom, shown), count) << place;
    }
    EXPECT_EQ(countOf(dom, "<h2 class=\"day\">"), days.size());
    for (const std::string& author : authors) {
        EXPECT_NE(dom.find("\">" + author + "</div>"), std::string::npos) << author;
    }
    EXPECT_EQ(dom.find("<script"), std::string::npos);
    EXPECT_NE(dom.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
}

// The index lists every conversation, and its search finds a message's
// words in another chat through the message index beside it.
TEST_F(ReportInBrowser, TheIndexListsTheChatsAndItsSearchFindsMessages) {
    const json chat = chatWith("cake");
    ASSERT_TRUE(chat.is_object());
    size_t chats = 0;
    size_t withCake = 0;  // the chats the search leaves in the table
    for (const fs::directory_entry& entry : fs::directory_iterator(report + "/Chats")) {
        if (entry.path().extension() != ".json") {
            continue;
        }
        ++chats;
        const std::string text = test::readFile(entry.path());
        withCake += text.find("cake") != std::string::npos ? 1 : 0;
    }
    const std::string dom = renderedDom(report + "/index.html", "#q=cake");
    EXPECT_EQ(countOf(dom, "<tr data-row="), chats);
    ASSERT_GT(withCake, 0u);
    ASSERT_LT(withCake, chats);
    EXPECT_EQ(countOf(dom, "\" hidden=\"\">"), chats - withCake);
    EXPECT_NE(dom.find("Vessamo Sample iPhone"), std::string::npos);
    EXPECT_NE(dom.find("iOS 15.3.1"), std::string::npos);
    const size_t hits = dom.find("<ol id=\"hits\">");
    ASSERT_NE(hits, std::string::npos);
    const std::string list = dom.substr(hits, dom.find("</ol>", hits) - hits);
    EXPECT_NE(list.find(chat["chat"]["title"].get<std::string>()), std::string::npos) << list;
    EXPECT_NE(list.find("cake"), std::string::npos);
    EXPECT_NE(dom.find("\u201ccake\u201d."), std::string::npos);
}

// Exporting everything includes the report; --utc turns its times to UTC
// and says so on every page and in the JSON.
TEST(ReportFromTheCommandLine, EverythingIncludesTheReportAndUtcIsNamed) {
    test::TempHome home;
    const std::string backup = home.path() + "/backup";
    ASSERT_TRUE(test::writeSample(home.path(), backup));
    const test::CliRun all =
        test::runTool(home.path(), {"export", backup, "--to", home.path() + "/all"});
    ASSERT_EQ(all.exitCode, 0) << all.err;
    EXPECT_NE(all.out.find("Chat report"), std::string::npos) << all.out;
    EXPECT_TRUE(fs::exists(home.path() + "/all/Report/index.html"));
    EXPECT_TRUE(fs::exists(home.path() + "/all/Chats"));  // the web pages as they were

    const test::ScopedEnv zone("TZ", "Asia/Kolkata", ::tzset);
    const test::CliRun utc = test::runTool(
        home.path(), {"export", backup, "--to", home.path() + "/utc", "--report", "--utc"});
    ASSERT_EQ(utc.exitCode, 0) << utc.err;
    const std::string page = test::readFile(home.path() + "/utc/Report/Chats/Anna Schmidt.html");
    EXPECT_NE(page.find("Times are shown in UTC."), std::string::npos);
    const json chat =
        json::parse(test::readFile(home.path() + "/utc/Report/Chats/Anna Schmidt.json"));
    EXPECT_EQ(chat["timeZone"], "UTC");
    EXPECT_EQ(chat["messages"][0]["time"].get<std::string>().back(), 'Z');
    EXPECT_FALSE(fs::exists(home.path() + "/utc/Chats"));  // only what was asked for
}

// The demo's closing line is what a newcomer opens first: it must name the
// report's index as written, not a folder of plainer pages.
TEST(ReportFromTheCommandLine, TheDemoPointsAtTheReportIndex) {
    test::TempHome home;
    const std::string out = home.path() + "/demo";
    const test::CliRun demo = test::runTool(home.path(), {"demo", "--to", out});
    ASSERT_EQ(demo.exitCode, 0) << demo.err;
    const std::string prefix = "Open the chat report in a browser: ";
    const size_t line = demo.out.rfind(prefix);
    ASSERT_NE(line, std::string::npos) << demo.out;
    const size_t start = line + prefix.size();
    const std::string named = demo.out.substr(start, demo.out.find('\n', start) - start);
    EXPECT_EQ(fs::path(named), fs::absolute(out) / "Report" / "index.html");
    EXPECT_NE(test::readFile(named).find("<!DOCTYPE html>"), std::string::npos);
}

}  // namespace
}  // namespace vessamo
