#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/ChildProcess.h"
#include "export/KTVCFController.h"
#include "export/TextExports.h"
#include "sample/SampleImage.h"
#include "support/ExportFixture.h"

namespace vessamo {
namespace {

using test::readFile;

// Reads every card file with python-vobject, validating each card as vCard
// 3.0, and prints what it understood of them as JSON, by file.
constexpr const char* kReadCards = R"PY(
import json, sys, vobject
found = {}
for path in sys.argv[1:]:
    with open(path, newline='') as f:
        data = f.read()
    cards = list(vobject.readComponents(data, validate=True))
    card = cards[0]
    def values(name):
        return [p.value for p in card.contents.get(name, [])]
    name = card.n.value
    found[path] = {
        'cards': len(cards),
        'fn': card.fn.value,
        'family': name.family,
        'given': name.given,
        'tel': values('tel'),
        'note': values('note'),
        'org': [list(v) for v in values('org')],
        'email': values('email'),
        'url': values('url'),
        'photo': [len(v) for v in values('photo')],
    }
print(json.dumps(found))
)PY";

// A python with vobject: Debian's own interpreter first, where apt puts
// python3-vobject, then whatever python3 the PATH names.
std::optional<std::string> pythonWithVobject() {
    std::vector<std::string> candidates = {"/usr/bin/python3"};
    if (auto onPath = ChildProcess::findOnPath("python3")) {
        candidates.push_back(*onPath);
    }
    for (const std::string& python : candidates) {
        const ChildProcess::Result probe =
            ChildProcess::run(python, {"-c", "import vobject"}, std::chrono::seconds(60));
        if (probe.succeeded()) {
            return python;
        }
    }
    return std::nullopt;
}

nlohmann::json readWithVobject(const std::string& python, const std::vector<std::string>& files) {
    std::vector<std::string> arguments = {"-c", kReadCards};
    arguments.insert(arguments.end(), files.begin(), files.end());
    const ChildProcess::Result run = ChildProcess::run(python, arguments, std::chrono::seconds(120),
                                                       ChildProcess::Output::capture);
    EXPECT_TRUE(run.succeeded()) << run.describeFailure() << "\n" << run.output;
    const nlohmann::json parsed = nlohmann::json::parse(run.output, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << run.output;
    return parsed.is_discarded() ? nlohmann::json::object() : parsed;
}

// Every line ends with CR LF, the last one too, and none is empty.
void expectCrLfLines(const std::string& card) {
    ASSERT_GE(card.size(), 2u);
    EXPECT_EQ(card.substr(card.size() - 11), "END:VCARD\r\n");
    size_t start = 0;
    while (start < card.size()) {
        const size_t end = card.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "a line without CR LF at " << start;
        const std::string line = card.substr(start, end - start);
        EXPECT_FALSE(line.empty());
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        EXPECT_NE(line.back(), ':') << "empty property: " << line;
        start = end + 2;
    }
}

class VCardValidityTest : public test::ExportFixture {};

TEST_F(VCardValidityTest, EveryCardBuilderWritesCardsAValidatingReaderAccepts) {
    const std::string png = sample::solidColourPng(4, 4, 200, 10, 10);
    const std::string picture = home.path() + "/picture.png";
    test::writeFile(picture, png);

    KTContactNode& full = make.contact("Anna Maria Schmidt", "+49 170 1234567");
    full.contactCompany = make.text("Schmidt; Söhne, GmbH");
    full.contactEmail = make.text("anna@example.org");
    full.contactHomepage = make.text("https://example.org/anna");
    full.imageData = make.text(png);
    make.contact("Cher", "");  // one word, and nothing else
    KTContactNode& companyOnly = make.contact("", "+1 555 0100");
    companyOnly.contactCompany = make.text("Acme Inc");
    companyOnly.rowid = 7;

    KTWhatsAppFavContact& person = make.favourite("Ben Ng", "491701111111@s.whatsapp.net");
    person.contactStatu = make.text("line one\nline two; with, marks");
    person.contactImagePath = make.text(picture);
    make.favourite("Family", "120363044520422954@g.us");
    make.favourite("Hidden", "190012345678901@lid");

    make.chat(1, "Ben Ng", "491701111111");
    KTWhatsAppNode& said = make.message(1, "hi", Direction::Receive, test::kMarch14At1509);
    said.messageName = make.text("Ben Ng");
    said.messageNumb = make.text("491701111111");
    KTWhatsAppNode& nameless = make.message(1, "yo", Direction::Receive, test::kMarch14At1509);
    nameless.messageNumb = make.text("4930123456");
    finish();

    ASSERT_TRUE(ExportChatContactsthreader(*result, out).failures.empty());
    ASSERT_TRUE(ExportChatFavContactsthreader(*result, out).failures.empty());
    ASSERT_TRUE(ExportSelectedChatContactsthreader(*result, chats(), out).failures.empty());
    RecoveryLists lists;
    lists.contacts.push_back(&result->WhatsAppContactArray[2]);
    ASSERT_TRUE(recoverFilesThread(*result, lists, out + "/recovery").failures.empty());

    const std::vector<std::string> files = {
        out + "/Contact/Anna Maria Schmidt.vcf", out + "/Contact/Cher.vcf",
        out + "/Favorites Contact/Ben Ng.vcf",   out + "/Favorites Contact/Family.vcf",
        out + "/Favorites Contact/Hidden.vcf",   out + "/Chats/Ben Ng.vcf",
        out + "/Chats/4930123456.vcf",           out + "/recovery/Contact/Acme Inc.vcf"};
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        expectCrLfLines(readFile(file));
    }
    // No card says its name nowhere, nor a group's or private identifier's
    // JID where a telephone number belongs.
    EXPECT_EQ(readFile(out + "/Favorites Contact/Family.vcf"),
              "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Family\r\nN:;Family;;;\r\nEND:VCARD\r\n");
    EXPECT_EQ(readFile(out + "/Favorites Contact/Hidden.vcf").find("TEL"), std::string::npos);

    const std::optional<std::string> python = pythonWithVobject();
    if (!python) {
        GTEST_SKIP() << "python3-vobject is not installed (scripts/setup installs it); the cards "
                        "were checked without a vCard reader only";
    }
    const nlohmann::json cards = readWithVobject(*python, files);
    ASSERT_EQ(cards.size(), files.size()) << cards.dump();
    for (const std::string& file : files) {
        EXPECT_EQ(cards[file]["cards"], 1) << file;
    }
    const nlohmann::json& anna = cards[files[0]];
    EXPECT_EQ(anna["fn"], "Anna Maria Schmidt");
    EXPECT_EQ(anna["family"], "Schmidt");
    EXPECT_EQ(anna["given"], "Anna Maria");
    EXPECT_EQ(anna["org"], nlohmann::json::parse(R"([["Schmidt; Söhne, GmbH"]])"));
    EXPECT_EQ(anna["email"], nlohmann::json::array({"anna@example.org"}));
    EXPECT_EQ(anna["tel"], nlohmann::json::array({"+49 170 1234567"}));
    EXPECT_EQ(anna["photo"], nlohmann::json::array({png.size()}));
    const nlohmann::json& cher = cards[files[1]];
    EXPECT_EQ(cher["given"], "Cher");
    EXPECT_EQ(cher["family"], "");
    EXPECT_TRUE(cher["tel"].empty());
    EXPECT_TRUE(cher["email"].empty());
    EXPECT_TRUE(cher["org"].empty());
    EXPECT_TRUE(cher["url"].empty());
    const nlohmann::json& ben = cards[files[2]];
    EXPECT_EQ(ben["tel"], nlohmann::json::array({"+491701111111"}));
    EXPECT_EQ(ben["note"], nlohmann::json::array({"line one line two; with, marks"}));
    EXPECT_EQ(ben["photo"], nlohmann::json::array({png.size()}));
    EXPECT_TRUE(cards[files[3]]["tel"].empty());
    EXPECT_TRUE(cards[files[4]]["tel"].empty());
    EXPECT_EQ(cards[files[5]]["fn"], "Ben Ng");
    EXPECT_EQ(cards[files[6]]["fn"], "+4930123456");
    EXPECT_EQ(cards[files[6]]["tel"], nlohmann::json::array({"+4930123456"}));
    EXPECT_EQ(cards[files[7]]["fn"], "Acme Inc");
    EXPECT_EQ(cards[files[7]]["org"], nlohmann::json::parse(R"([["Acme Inc"]])"));
}

TEST(VCardValues, StructuredNamesAndTelephoneNumbers) {
    EXPECT_EQ(KTVCFController::structuredName("Anna Maria Schmidt"), "Schmidt;Anna Maria;;;");
    EXPECT_EQ(KTVCFController::structuredName("  Cher "), ";Cher;;;");
    EXPECT_EQ(KTVCFController::structuredName("O;Brien, Pat"), "Pat;O\\;Brien\\,;;;");
    EXPECT_EQ(KTVCFController::structuredName(""), ";;;;");
    EXPECT_EQ(KTVCFController::telephoneOf("491701111111@s.whatsapp.net"), "+491701111111");
    EXPECT_EQ(KTVCFController::telephoneOf("491701111111"), "+491701111111");
    EXPECT_EQ(KTVCFController::telephoneOf("+49 170 1234567"), "+49 170 1234567");
    EXPECT_EQ(KTVCFController::telephoneOf("120363044520422954@g.us"), "");
    EXPECT_EQ(KTVCFController::telephoneOf("4917011-1642252800@g.us"), "");
    EXPECT_EQ(KTVCFController::telephoneOf("190012345678901@lid"), "");
    EXPECT_EQ(KTVCFController::telephoneOf(""), "");
}

}  // namespace
}  // namespace vessamo
