#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "export/KTVCFController.h"
#include "export/TextExports.h"
#include "results/DisplayText.h"
#include "support/ExportFixture.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using test::namesIn;
using test::readFile;
using test::writeFile;

// --- vCard builder ---------------------------------------------------------

TEST(KTVCFControllerTest, Base64MatchesRfc4648Vectors) {
    const std::vector<std::pair<std::string, std::string>> vectors = {
        {"f", "Zg=="},        {"fo", "Zm8="},        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
        {"abc", "YWJj"},      {"\xff\xfe", "//4="},  {"", ""}};
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(KTVCFController::base64(plain), encoded) << plain;
    }
    const auto* src = reinterpret_cast<const unsigned char*>("fo");
    char dest[8] = {};
    EXPECT_EQ(KTVCFController::baseEncode(src, 2, dest, sizeof dest, kBase64Alphabet, false), 3u);
    EXPECT_EQ(std::string(dest, 3), "Zm8");
    // Never past the end of a buffer too small for the padded result.
    EXPECT_EQ(KTVCFController::baseEncode(src, 2, dest, 3, kBase64Alphabet, true), 0u);
    EXPECT_EQ(KTVCFController::baseEncode(nullptr, 2, dest, 8, kBase64Alphabet, true), 0u);
    EXPECT_EQ(KTVCFController::baseEncode(src, 0, dest, 8, kBase64Alphabet, true), 0u);
    EXPECT_EQ(KTVCFController::baseEncode(src, 2, nullptr, 8, kBase64Alphabet, true), 0u);
}

TEST(KTVCFControllerTest, CardsHaveCrLfLinesEscapedValuesAndAStructuredName) {
    test::TempHome home;
    TextStore texts;
    KTContactNode person;
    person.contactName = "Ann Lee";
    person.contactCompany = "Acme";
    person.contactEmail = "ann@example.org";
    person.contactPhone = "+44 20 7946 0000";
    person.contactHomepage = "example.org";
    person.imageData = texts.keep(std::string_view("\xFF\xD8\xFF", 3));
    KTVCFController card;
    ASSERT_TRUE(card.creatFile(person, home.path() + "/Ann.vcf").ok());
    EXPECT_EQ(readFile(home.path() + "/Ann.vcf"),
              "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann Lee\r\nN:Lee;Ann;;;\r\nORG:Acme\r\n"
              "EMAIL;TYPE=INTERNET,HOME,PREF:ann@example.org\r\n"
              "TEL;TYPE=CELL,PREF:+44 20 7946 0000\r\n"
              "URL:example.org\r\nPHOTO;ENCODING=b;TYPE=JPEG:/9j/\r\nEND:VCARD\r\n");
    person.imageData.reset();
    ASSERT_TRUE(card.creatFile(person, home.path() + "/Ann.vcf").ok());
    EXPECT_EQ(readFile(home.path() + "/Ann.vcf").find("PHOTO"), std::string::npos);

    // Free text from other people cannot split a value or add a property.
    EXPECT_EQ(KTVCFController::escapeValue("Doe; John, Jr \\ x"), "Doe\\; John\\, Jr \\\\ x");
    EXPECT_EQ(KTVCFController::escapeValue("a\r\nTEL:1\nb\rc"), "a\\nTEL:1\\nb\\nc");
    KTWhatsAppNode participant;
    participant.messageName = "Eve\r\nTEL;CELL;PREF:000";
    participant.messageNumb = "4915;1";
    ASSERT_TRUE(card.creatContactFile(participant, home.path() + "/e.vcf").ok());
    EXPECT_EQ(card.strContent,
              "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Eve\\nTEL\\;CELL\\;PREF:000\r\n"
              "N:;Eve\\nTEL\\;CELL\\;PREF:000;;;\r\nTEL;TYPE=CELL,PREF:4915\\;1\r\n"
              "END:VCARD\r\n");
}

TEST(KTVCFControllerTest, WhatsAppContactNoteIsOneLineAndPhotoComesFromItsFile) {
    test::TempHome home;
    TextStore texts;
    KTWhatsAppFavContact fav;
    fav.contactName = "Bo";
    fav.whatsAppID = "4917012345";
    fav.contactStatu = "first line\nsecond, line";
    fav.contactImagePath = texts.keep(home.path() + "/bo.jpg");
    writeFile(home.path() + "/bo.jpg", "abc");

    KTVCFController card;
    ASSERT_TRUE(card.creatFavFile(fav, home.path() + "/Bo.vcf").ok());
    EXPECT_EQ(readFile(home.path() + "/Bo.vcf"),
              "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Bo\r\nN:;Bo;;;\r\n"
              "TEL;TYPE=CELL,PREF:+4917012345\r\n"
              "NOTE:first line second\\, line\r\nPHOTO;ENCODING=b;TYPE=JPEG:YWJj\r\n"
              "END:VCARD\r\n");

    fav.contactImagePath = texts.keep(home.path() + "/missing.jpg");
    ASSERT_TRUE(card.creatFavFile(fav, home.path() + "/Bo.vcf").ok());
    EXPECT_EQ(card.strContent.find("PHOTO"), std::string::npos);
}

TEST(TextExportSizeTest, SizeTextsCountInPowersOfThousand) {
    const std::vector<std::pair<const char*, uint64_t>> cases = {
        {"4.00K", 4000},       {"1.5M", 1500000}, {"12B", 12}, {"2.25G", 2250000000},
        {"3T", 3000000000000}, {"2.9B", 2},       {"", 0},     {"K", 0},
        {"abcK", 0},           {"-4K", 0}};
    for (const auto& [text, bytes] : cases) {
        EXPECT_EQ(sizeFormString(text), bytes) << text;
    }
}

// --- exports over a scan result --------------------------------------------

class TextExportsTest : public test::ExportFixture {
protected:
    KTWhatsAppNode& message(int32_t chat, std::string_view name, std::string_view number,
                            std::string_view text) {
        KTWhatsAppNode& node = make.message(chat, text, Direction::Receive, test::kMarch14At1509);
        node.messageName = make.text(name);
        node.messageNumb = make.text(number);
        return node;
    }
    KTContactNode& contact(int32_t rowid, std::string_view name, std::string_view company = "") {
        KTContactNode& node = make.contact(name, "");
        node.rowid = rowid;
        node.contactCompany = make.text(company);
        return node;
    }
};

TEST_F(TextExportsTest, ChatAsTextWritesTextMessagesNewestFirst) {
    test::ScopedTimeZone zone("Europe/Berlin");
    make.chat(1, "Bob").currentSubject = make.text("Hey there");
    make.chat(2, "Cy").currentSubject = make.text("x");
    make.chat(3, "Dee").currentSubject = std::nullopt;
    make.chat(4, "Al").currentSubject = make.text("s");
    make.chat(5, "Al").currentSubject = make.text("s");
    message(1, "Bob", "491", "hi");
    message(1, "Bob", "491", "photo").isHaveAttch = true;
    message(2, "Cy", "492", "other chat");
    message(1, "", "", "bye").messageDate = std::nullopt;
    message(4, "Al", "1", "first");
    message(5, "Al", "1", "second");
    finish();

    std::vector<const KTWhatsAppCovNode*> chosen = chats();
    chosen.erase(chosen.begin() + 1);
    const ExportReport report = ExportChatAsTextthreader(*result, chosen, out);
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.filesWritten, 4u);
    EXPECT_EQ(namesIn(out + "/Chats"), (std::set<std::string>{"Bob-Hey there.txt", "Dee-(null).txt",
                                                              "Al-s.txt", "Al-s (2).txt"}));
    // A media message keeps its line, with its caption as the message.
    EXPECT_EQ(readFile(out + "/Chats/Bob-Hey there.txt"),
              "Name:  Message:bye  date:  \n\n"
              "Name:Bob  Message:photo  date:03-14-2021 15:09  \n\n"
              "Name:Bob  Message:hi  date:03-14-2021 15:09  \n\n");
    EXPECT_EQ(readFile(out + "/Chats/Dee-(null).txt"), "");
    // Two chats of one file name: both are kept.
    EXPECT_EQ(readFile(out + "/Chats/Al-s.txt"),
              "Name:Al  Message:first  date:03-14-2021 15:09  \n\n");
    EXPECT_EQ(readFile(out + "/Chats/Al-s (2).txt"),
              "Name:Al  Message:second  date:03-14-2021 15:09  \n\n");
}

TEST_F(TextExportsTest, PeopleOfChatsGetOneCardPerPersonAcrossChatsAndRuns) {
    make.chat(1, "Alice");
    make.chat(2, "Group Chat", "", true);
    message(1, "Alice", "111", "a");
    message(1, "Alice", "112", "b");
    message(2, "Alice", "113", "c");
    message(2, "Alice", "112", "shared participant");
    message(2, "", "4930", "d");
    finish();

    const ExportReport report = ExportSelectedChatContactsthreader(*result, chats(), out);
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.filesWritten, 4u);
    EXPECT_EQ(namesIn(out + "/Chats"),
              (std::set<std::string>{"Alice.vcf", "Alice (2).vcf", "Alice (3).vcf", "4930.vcf"}));
    // Messages are walked newest first: the first chat's newest Alice has
    // the plain name; the one both chats share has one card.
    EXPECT_EQ(readFile(out + "/Chats/Alice.vcf"),
              "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Alice\r\nN:;Alice;;;\r\n"
              "TEL;TYPE=CELL,PREF:+112\r\nEND:VCARD\r\n");
    EXPECT_NE(readFile(out + "/Chats/Alice (2).vcf").find("TEL;TYPE=CELL,PREF:+111\r\n"),
              std::string::npos);
    EXPECT_NE(readFile(out + "/Chats/Alice (3).vcf").find("TEL;TYPE=CELL,PREF:+113\r\n"),
              std::string::npos);
    EXPECT_EQ(readFile(out + "/Chats/4930.vcf"),
              "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:+4930\r\nN:;+4930;;;\r\n"
              "TEL;TYPE=CELL,PREF:+4930\r\nEND:VCARD\r\n");

    writeFile(out + "/Chats/Alice.vcf", "edited by hand");
    const ExportReport rerun = ExportSelectedChatContactsthreader(*result, chats(), out);
    EXPECT_TRUE(rerun.failures.empty());
    EXPECT_EQ(rerun.filesWritten, 0u);
    EXPECT_EQ(readFile(out + "/Chats/Alice.vcf"), "edited by hand");
}

TEST_F(TextExportsTest, CallsFileListsEveryCallWithItsDate) {
    test::ScopedTimeZone zone("Europe/Berlin");
    KTCallHistoryNode& incoming = make.call("Ann", "4917");
    incoming.callDate = test::kMarch14At1509;
    incoming.callType = "Incoming";
    incoming.callDuration = "Missed";
    KTCallHistoryNode& outgoing = make.call("", "4917");
    outgoing.callType = "Outgoing Call";
    outgoing.callDuration = "Cancelled Call";
    finish();

    ItemCounter counter{0};
    const ExportReport report = ExportWhatsAppChatCallthreader(*result, out, {{}, &counter});
    EXPECT_EQ(report.filesWritten, 1u);
    EXPECT_EQ(counter.load(), 2);
    // A call without a stored time shows none; one whose time has no
    // calendar date shows one blank.
    KTCallHistoryNode beyond = outgoing;
    beyond.callDate = AppleTime{INT64_MAX};
    EXPECT_EQ(callDateText(beyond.callDate), " ");
    EXPECT_EQ(readFile(out + "/Call History/WhatsApp Call.txt"),
              "Name:Ann  Phone:4917  Date:03-14-2021 15:09  Type:Incoming  Duration:Missed  \n\n"
              "Name:  Phone:4917  Date:  Type:Outgoing Call  Duration:Cancelled Call  \n\n");

    const ScanResultPtr empty = test::ResultFactory().finish();
    EXPECT_EQ(ExportWhatsAppChatCallthreader(*empty, out).filesWritten, 1u);
    EXPECT_EQ(readFile(out + "/Call History/WhatsApp Call.txt"), "");
}

TEST_F(TextExportsTest, CombinedRecoveryCopiesResourcesWritesCardsListsAndRecoveredChats) {
    contact(1, "Ann", "Acme");
    contact(2, "", "Globex");
    contact(7, "");
    contact(8, "Not Me");
    make.favourite("Fay", "49");
    recovered(40, "Zed", "deleted hello");
    KTWhatsAppResourceNode card;
    card.nodeName = make.text("Shared Card");
    card.nodeSize = "4.00K";
    card.nodePath = make.text(home.path() + "/source/card");
    writeFile(home.path() + "/source/card", "card bytes");
    finish();

    RecoveryLists lists;
    lists.resources = {&card};
    lists.favContacts = {&result->WhatsAppFacContactArray[0]};
    for (size_t i = 0; i < 3; ++i) {
        lists.contacts.push_back(&result->WhatsAppContactArray[i]);
    }
    lists.conversations = chats(true);
    ItemCounter counter{0};
    const ExportReport report = recoverFilesThread(*result, lists, out, {{}, &counter});

    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.filesWritten, 1u + 1u + 3u + 1u + 1u);  // resource, fav, cards, list, page
    EXPECT_EQ(counter.load(), 1 + 1 + 3 + 1);
    EXPECT_EQ(readFile(out + "/Resource/Shared Card"), "card bytes");
    EXPECT_EQ(namesIn(out + "/Favrites"), std::set<std::string>{"Fay.vcf"});
    EXPECT_EQ(namesIn(out + "/Chats"), std::set<std::string>{"Zed40.html"});
    EXPECT_EQ(namesIn(out + "/Contact"),
              (std::set<std::string>{"Ann.vcf", "Globex.vcf", "unknown 7.vcf", "Contacts.txt"}));
    const std::string blanks = "  JobTitle:  Home Page:  Birthday:  Note:  \n\n";
    EXPECT_EQ(readFile(out + "/Contact/Contacts.txt"),
              "Name:Ann  Phone:  Email:  Company:Acme" + blanks +
                  "Name:  Phone:  Email:  Company:Globex" + blanks +
                  "Name:  Phone:  Email:  Company:" + blanks);

    // The list of a second run cannot take the first run's name: it stays
    // TXT.txt and the report says so.
    writeFile(out + "/Contact/Contacts.txt", "edited by hand");
    const ExportReport rerun = recoverFilesThread(*result, lists, out);
    EXPECT_EQ(rerun.failures.size(), 1u);
    EXPECT_EQ(readFile(out + "/Contact/Contacts.txt"), "edited by hand");
    EXPECT_EQ(readFile(out + "/Contact/TXT.txt").substr(0, 9), "Name:Ann ");
}

TEST_F(TextExportsTest, CardsCountEveryRecordSkipTheNamelessAndStayInsideTheFolder) {
    const std::vector<std::string> hostile = {
        "../x", "a/b", std::string("c\0d", 3), std::string(5000, 'L'), ".", "..", "/etc/passwd"};
    for (size_t i = 0; i < hostile.size(); ++i) {
        contact(static_cast<int32_t>(i), hostile[i]);
    }
    contact(9, "", "Acme");
    make.favourite("Fay", "49");
    make.favourite("", "50");
    finish();

    ItemCounter counter{0};
    const ExportReport report = ExportChatContactsthreader(*result, out, {{}, &counter});
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.filesWritten, hostile.size());
    EXPECT_EQ(ExportChatFavContactsthreader(*result, out, {{}, &counter}).filesWritten, 1u);
    EXPECT_EQ(counter.load(), static_cast<int>(hostile.size()) + 1 + 2);
    EXPECT_EQ(namesIn(out + "/Favorites Contact"), std::set<std::string>{"Fay.vcf"});
    EXPECT_EQ(namesIn(out), (std::set<std::string>{"Contact", "Favorites Contact"}));
    EXPECT_EQ(namesIn(home.path()), std::set<std::string>{"out"});
    const std::set<std::string> written = namesIn(out + "/Contact");
    EXPECT_EQ(written.size(), hostile.size());
    for (const std::string& name : written) {
        EXPECT_TRUE(fs::is_regular_file(out + "/Contact/" + name)) << name;
        EXPECT_LE(name.size(), kSafeFileNameMaxBytes + 4);
    }
}

TEST_F(TextExportsTest, UnwritableDestinationsAreReportedWithoutCrashing) {
    contact(1, "Ann");
    make.chat(1, "Bob");
    for (const char* name : {"Ann", "Bo", "Cy"}) {
        make.favourite(name, "49");
    }
    finish();

    // A file where the export folder should be: no folder can be made.
    writeFile(out + "/Contact", "in the way");
    writeFile(out + "/Chats", "in the way");
    for (const ExportReport& report :
         {ExportChatContactsthreader(*result, out), ExportChatAsTextthreader(*result, chats(), out),
          ExportSelectedChatContactsthreader(*result, chats(), out)}) {
        EXPECT_EQ(report.filesWritten, 0u);
        EXPECT_EQ(report.failures.size(), 1u);
    }

    // A folder in a card's place cannot be replaced; a link in another's
    // is replaced by the card, never written through.
    const std::string elsewhere = home.path() + "/elsewhere.txt";
    writeFile(elsewhere, "untouched");
    fs::create_directories(out + "/Favorites Contact/Ann.vcf");
    fs::create_symlink(elsewhere, out + "/Favorites Contact/Bo.vcf");
    const ExportReport report = ExportChatFavContactsthreader(*result, out);
    EXPECT_EQ(report.filesWritten, 2u);
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_NE(report.failures[0].find("Ann.vcf"), std::string::npos);
    EXPECT_EQ(readFile(elsewhere), "untouched");
    EXPECT_FALSE(fs::is_symlink(out + "/Favorites Contact/Bo.vcf"));
}

TEST_F(TextExportsTest, AStoppedExportSaysSoAndWritesNoFileOfItsItems) {
    contact(1, "Ann");
    make.favourite("Fay", "49");
    make.call("Ann", "4917");
    make.chat(1, "Bob");
    message(1, "Bob", "491", "hi");
    finish();
    std::stop_source stop;
    stop.request_stop();
    const ExportControl stopped{stop.get_token()};

    const std::vector<std::pair<const char*, std::function<ExportReport()>>> exports = {
        {"Chats", [&] { return ExportChatAsTextthreader(*result, chats(), out, stopped); }},
        {"Chats",
         [&] { return ExportSelectedChatContactsthreader(*result, chats(), out, stopped); }},
        {"Contact", [&] { return ExportChatContactsthreader(*result, out, stopped); }},
        {"Favorites Contact", [&] { return ExportChatFavContactsthreader(*result, out, stopped); }},
        {"Call History", [&] { return ExportWhatsAppChatCallthreader(*result, out, stopped); }},
        {"Contact", [&] {
             RecoveryLists lists;
             lists.contacts = {&result->WhatsAppContactArray[0]};
             return recoverFilesThread(*result, lists, out, stopped);
         }}};
    for (const auto& [folder, run] : exports) {
        const ExportReport report = run();
        EXPECT_EQ(report.filesWritten, 0u) << folder;
        ASSERT_EQ(report.failures.size(), 1u) << folder;
        EXPECT_EQ(report.failures[0].rfind("export cancelled before ", 0), 0u) << folder;
        EXPECT_TRUE(namesIn(out + "/" + folder).empty()) << folder;
    }
}

}  // namespace
}  // namespace vessamo
