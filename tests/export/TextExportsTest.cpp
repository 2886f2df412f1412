#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "common/TextConversion.h"
#include "export/KTRtfController.h"
#include "export/KTVCFController.h"
#include "export/SafeFileName.h"
#include "export/TextExports.h"
#include "support/TestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

KTWhatsAppNodePtr message(int32_t chat, std::string name, std::string number, std::string text) {
    auto node = std::make_shared<KTWhatsAppNode>();
    node->chatID = chat;
    node->messageName = std::move(name);
    node->messageNumb = std::move(number);
    node->messageContent = std::move(text);
    node->messageDate = "2023-05-0" + std::to_string(chat);
    return node;
}

KTWhatsAppCovNodePtr conversation(int32_t chat, std::string name, std::string subject) {
    auto node = std::make_shared<KTWhatsAppCovNode>();
    node->chatID = chat;
    node->currentChatName = std::move(name);
    node->currentSubject = std::move(subject);
    return node;
}

KTContactNodePtr contact(int32_t rowid, std::string name, std::string company = "") {
    auto node = std::make_shared<KTContactNode>();
    node->rowid = rowid;
    node->contactName = std::move(name);
    node->contactCompany = std::move(company);
    return node;
}

class TextExportsTest : public ::testing::Test {
protected:
    ExportSource source() const {
        ExportSource scanned;
        scanned.node = &device;
        return scanned;
    }
    std::string out() const { return home.path() + "/out"; }

    test::TempHome home;
    KTIOSDeviceNode device;
};

// --- vCard builder ---------------------------------------------------------

TEST(KTVCFControllerTest, Base64MatchesRfc4648Vectors) {
    const std::vector<std::pair<std::string, std::string>> vectors = {
        {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"abc", "YWJj"}, {"\xff\xfe", "//4="}};
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(KTVCFController::base64(plain), encoded) << plain;
    }
    EXPECT_EQ(KTVCFController::base64(""), "");

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

TEST(KTVCFControllerTest, AddressBookCardHasCrLfLinesAndEndsWithoutOne) {
    test::TempHome home;
    KTContactNode person;
    person.contactName = "Ann Lee";
    person.contactCompany = "Acme";
    person.contactEmail = "ann@example.org";
    person.contactPhone = "+44 20 7946 0000";
    person.contactHomepage = "example.org";
    person.imageData = std::string("\xFF\xD8\xFF", 3);
    const std::string path = home.path() + "/Ann.vcf";

    KTVCFController card;
    ASSERT_TRUE(card.creatFile(person, path).written);
    EXPECT_EQ(readFile(path),
              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Ann Lee\r\nORG:Acme\r\n"
              "EMAIL;INTERNET;HOME;PREF:ann@example.org\r\nTEL;CELL;PREF:+44 20 7946 0000\r\n"
              "URL:example.org\r\nPHOTO;ENCODING=b;TYPE=JPEG:/9j/\r\nEND:VCARD");

    person.imageData.reset();
    ASSERT_TRUE(card.creatFile(person, path).written);
    EXPECT_EQ(readFile(path).find("PHOTO"), std::string::npos);
}

TEST(KTVCFControllerTest, ValuesAreEscapedSoTheyCannotSplitOrAddProperties) {
    EXPECT_EQ(KTVCFController::escapeValue("Doe; John, Jr \\ x"), "Doe\\; John\\, Jr \\\\ x");
    EXPECT_EQ(KTVCFController::escapeValue("a\r\nTEL:1\nb\rc"), "a\\nTEL:1\\nb\\nc");

    test::TempHome home;
    KTWhatsAppNode participant;
    participant.messageName = "Eve\r\nTEL;CELL;PREF:000";
    participant.messageNumb = "4915;1";
    KTVCFController card;
    ASSERT_TRUE(card.creatContactFile(participant, home.path() + "/e.vcf").written);
    EXPECT_EQ(card.strContent,
              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Eve\\nTEL\\;CELL\\;PREF:000\r\n"
              "TEL;CELL;PREF:4915\\;1\r\nEND:VCARD");
}

TEST(KTVCFControllerTest, WhatsAppContactNoteIsOneLineAndPhotoComesFromItsFile) {
    test::TempHome home;
    KTWhatsAppFavContact fav;
    fav.contactName = "Bo";
    fav.whatsAppID = "4917012345";
    fav.contactStatu = "first line\nsecond, line";
    fav.contactImagePath = home.path() + "/bo.jpg";
    writeFile(fav.contactImagePath, "abc");

    KTVCFController card;
    ASSERT_TRUE(card.creatFavFile(fav, home.path() + "/Bo.vcf").written);
    EXPECT_EQ(readFile(home.path() + "/Bo.vcf"),
              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Bo\r\nTEL;CELL;PREF:4917012345\r\n"
              "NOTE:first line second\\, line\r\nPHOTO;ENCODING=b;TYPE=JPEG:YWJj\r\nEND:VCARD");

    fav.contactImagePath = home.path() + "/missing.jpg";
    ASSERT_TRUE(card.creatFavFile(fav, home.path() + "/Bo.vcf").written);
    EXPECT_EQ(card.strContent.find("PHOTO"), std::string::npos);
}

// --- text builder ----------------------------------------------------------

TEST(KTRtfControllerTest, ContactListIsRenamedButNeverOverAnExistingOne) {
    test::TempHome home;
    KTRtfController text;
    text.addRtfContent("one");
    text.addRtfContent("two");
    EXPECT_EQ(text.strRtfContent, "one\n\ntwo\n\n");

    const auto first = text.writeRtfInPath(home.path(), "Contact");
    EXPECT_TRUE(first.write.written);
    EXPECT_EQ(first.finalPath, home.path() + "/Contacts.txt");
    EXPECT_TRUE(first.renameNote.empty());
    EXPECT_EQ(readFile(first.finalPath), "one\n\ntwo\n\n");
    EXPECT_FALSE(fs::exists(home.path() + "/TXT.txt"));

    KTRtfController second;
    second.addRtfContent("three");
    const auto again = second.writeRtfInPath(home.path(), "Contact");
    EXPECT_EQ(again.finalPath, home.path() + "/TXT.txt");
    EXPECT_FALSE(again.renameNote.empty());
    EXPECT_EQ(readFile(home.path() + "/Contacts.txt"), "one\n\ntwo\n\n");
    EXPECT_EQ(readFile(home.path() + "/TXT.txt"), "three\n\n");

    const auto other = second.writeRtfInPath(home.path() + "/", "Call");
    EXPECT_TRUE(other.renameNote.empty());
    EXPECT_EQ(other.finalPath, home.path() + "//TXT.txt");
}

// --- safe names and sizes --------------------------------------------------

TEST(TextExportSafeNameTest, NamesBecomeOneBoundedComponent) {
    EXPECT_EQ(safeFileName("Ann Lee"), "Ann Lee");
    EXPECT_EQ(safeFileName("../x"), ".._x");
    EXPECT_EQ(safeFileName("a/b"), "a_b");
    EXPECT_EQ(safeFileName(std::string("a\0b", 3)), "a_b");
    EXPECT_EQ(safeFileName("."), "_");
    EXPECT_EQ(safeFileName(".."), "__");
    EXPECT_EQ(safeFileName(""), "_");

    // 2-byte characters straddling the limit: the cut keeps whole characters.
    std::string longName = "x";
    for (int i = 0; i < 150; ++i) {
        longName += "\xC3\xA9";  // é
    }
    const std::string cut = safeFileName(longName);
    EXPECT_EQ(cut.size(), 199u);
    EXPECT_TRUE(isValidUtf8(cut));
    EXPECT_EQ(safeFileName(std::string(300, 'a')).size(), kSafeFileNameMaxBytes);
}

TEST(TextExportSizeTest, SizeTextsCountInPowersOfThousand) {
    EXPECT_EQ(sizeFormString("4.00K"), 4000u);
    EXPECT_EQ(sizeFormString("1.5M"), 1500000u);
    EXPECT_EQ(sizeFormString("12B"), 12u);
    EXPECT_EQ(sizeFormString("2.25G"), 2250000000u);
    EXPECT_EQ(sizeFormString("3T"), 3000000000000u);
    EXPECT_EQ(sizeFormString("2.9B"), 2u);
    EXPECT_EQ(sizeFormString(""), 0u);
    EXPECT_EQ(sizeFormString("K"), 0u);
    EXPECT_EQ(sizeFormString("abcK"), 0u);
    EXPECT_EQ(sizeFormString("-4K"), 0u);
}

// --- exports over a scanned source -----------------------------------------

TEST_F(TextExportsTest, ChatAsTextWritesTextMessagesNewestFirst) {
    auto withMedia = message(1, "Bob", "491", "photo");
    withMedia->isHaveAttch = true;
    device.WhatsAppChatArray = {message(1, "Bob", "491", "hi"), withMedia,
                                message(2, "Cy", "492", "other chat"), message(1, "", "", "bye")};
    auto bob = conversation(1, "Bob", "Hey there");
    auto cy = conversation(2, "Cy", "x");
    auto quiet = conversation(3, "Dee", "");
    quiet->currentSubject = std::nullopt;
    quiet->bSelected = true;
    device.WhatsAppConvChatArray = {bob, cy, quiet};

    const ExportReport report = ExportChatAsTextthreader(source(), out(), 0);
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.filesWritten, 2u);
    EXPECT_EQ(namesIn(out() + "/Chats"),
              (std::set<std::string>{"Bob-Hey there.txt", "Dee-(null).txt"}));
    EXPECT_EQ(readFile(out() + "/Chats/Bob-Hey there.txt"),
              "Name:  Message:bye  date:2023-05-01  \n\n"
              "Name:Bob  Message:hi  date:2023-05-01  \n\n");
    EXPECT_EQ(readFile(out() + "/Chats/Dee-(null).txt"), "");
    EXPECT_TRUE(bob->hasload);
    EXPECT_FALSE(cy->hasload);

    // A second run replaces, and does not duplicate, the filled messages.
    EXPECT_EQ(ExportChatAsTextthreader(source(), out(), 0).filesWritten, 2u);
    EXPECT_EQ(bob->appNodeArray.size(), 3u);
}

TEST_F(TextExportsTest, TwoChatsOfTheSameFileNameAreReportedNotSilentlyLost) {
    device.WhatsAppChatArray = {message(1, "Al", "1", "first"), message(2, "Al", "1", "second")};
    auto one = conversation(1, "Al", "s");
    auto two = conversation(2, "Al", "s");
    one->bSelected = two->bSelected = true;
    device.WhatsAppConvChatArray = {one, two};

    const ExportReport report = ExportChatAsTextthreader(source(), out(), std::nullopt);
    EXPECT_EQ(report.filesWritten, 1u);
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_NE(report.failures[0].find("Al-s.txt"), std::string::npos);
    EXPECT_NE(readFile(out() + "/Chats/Al-s.txt").find("second"), std::string::npos);
}

TEST_F(TextExportsTest, PeopleOfChatsGetOneCardAcrossChatsAndRuns) {
    device.WhatsAppChatArray = {message(1, "Alice", "111", "a"), message(1, "Alice", "112", "b"),
                                message(2, "Alice", "113", "c"), message(2, "", "4930", "d")};
    auto first = conversation(1, "Alice", "");
    auto group = conversation(2, "Group Chat", "Trip");
    group->bSelected = true;
    device.WhatsAppConvChatArray = {first, group};

    const ExportReport report = ExportSelectedChatContactsthreader(source(), out(), 0);
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.filesWritten, 2u);
    EXPECT_EQ(namesIn(out() + "/Chats"), (std::set<std::string>{"Alice.vcf", "4930.vcf"}));
    // Messages are walked newest first, so the newest number of the first chat wins.
    EXPECT_EQ(readFile(out() + "/Chats/Alice.vcf"),
              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Alice\r\nTEL;CELL;PREF:112\r\nEND:VCARD");
    EXPECT_EQ(readFile(out() + "/Chats/4930.vcf"),
              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:\r\nTEL;CELL;PREF:4930\r\nEND:VCARD");

    writeFile(out() + "/Chats/Alice.vcf", "edited by hand");
    const ExportReport rerun = ExportSelectedChatContactsthreader(source(), out(), 0);
    EXPECT_TRUE(rerun.failures.empty());
    EXPECT_EQ(rerun.filesWritten, 0u);
    EXPECT_EQ(readFile(out() + "/Chats/Alice.vcf"), "edited by hand");
}

TEST_F(TextExportsTest, CallsFileListsBothSourcesWordingsAsTheyStand) {
    auto call = [](std::string name, std::string type, std::string duration) {
        auto node = std::make_shared<KTCallHistoryNode>();
        node->callName = std::move(name);
        node->callPhone = "4917";
        node->callDate = "2023-01-02 10:00:00";
        node->callType = std::move(type);
        node->callDuration = std::move(duration);
        return node;
    };
    device.WhatsAppCallArray = {call("Ann", "Incoming", "Missed"),
                                call("", "Outgoing Call", "Cancelled Call")};
    ItemCounter counter{0};
    const ExportReport report = ExportWhatsAppChatCallthreader(source(), out(), &counter);
    EXPECT_EQ(report.filesWritten, 1u);
    EXPECT_EQ(counter.load(), 2);
    EXPECT_EQ(readFile(out() + "/Call History/WhatsApp Call.txt"),
              "Name:Ann  Phone:4917  Date:2023-01-02 10:00:00  Type:Incoming  Duration:Missed  "
              "\n\n"
              "Name:  Phone:4917  Date:2023-01-02 10:00:00  Type:Outgoing Call  "
              "Duration:Cancelled Call  \n\n");

    device.WhatsAppCallArray.clear();
    EXPECT_EQ(ExportWhatsAppChatCallthreader(source(), out(), nullptr).filesWritten, 1u);
    EXPECT_EQ(readFile(out() + "/Call History/WhatsApp Call.txt"), "");
}

TEST_F(TextExportsTest, ContactExportsCountEveryRecordAndSkipTheNameless) {
    device.WhatsAppContactArray = {contact(1, "Ann"), contact(2, "", "Acme"), contact(3, "Cy")};
    auto fav = std::make_shared<KTWhatsAppFavContact>();
    fav->contactName = "Fay";
    device.WhatsAppFacContactArray = {fav, std::make_shared<KTWhatsAppFavContact>()};

    ItemCounter counter{0};
    EXPECT_EQ(ExportChatContactsthreader(source(), out(), &counter).filesWritten, 2u);
    EXPECT_EQ(ExportChatFavContactsthreader(source(), out(), &counter).filesWritten, 1u);
    EXPECT_EQ(counter.load(), 5);
    EXPECT_EQ(namesIn(out() + "/Contact"), (std::set<std::string>{"Ann.vcf", "Cy.vcf"}));
    EXPECT_EQ(namesIn(out() + "/Favorites Contact"), std::set<std::string>{"Fay.vcf"});
}

TEST_F(TextExportsTest, CombinedRecoveryNamesCardsListsContactsAndDelegatesMedia) {
    RecoveryLists lists;
    auto unnamed = contact(7, "");
    auto skipped = contact(8, "Not Me");
    lists.contacts = {contact(1, "Ann", "Acme"), contact(2, "", "Globex"), unnamed, skipped};
    for (size_t i = 0; i < 3; ++i) {
        lists.contacts[i]->bSelected = true;
    }
    auto card = std::make_shared<KTWhatsAppResourceNode>();
    card->nodeName = "Shared Card";
    card->nodeSize = "4.00K";
    card->nodePath = "/src/card";
    card->bSelected = true;
    lists.resources = {card, std::make_shared<KTWhatsAppResourceNode>()};
    auto fav = std::make_shared<KTWhatsAppFavContact>();
    fav->contactName = "Fay";
    fav->bSelected = true;
    lists.favContacts = {fav};
    auto lost = conversation(4, "Zed", "UnknownSubject");
    lost->bSelected = true;
    lists.conversations = {lost, conversation(5, "Yan", "UnknownSubject")};

    std::vector<std::tuple<std::string, std::string, uint64_t>> copies;
    std::vector<KTWhatsAppCovNodePtr> paged;
    RecoveryActions actions;
    actions.copyMedia = [&](const std::string& from, const std::string& to, uint64_t bytes) {
        copies.emplace_back(from, to, bytes);
        ExportReport copied;
        copied.filesWritten = 1;
        return copied;
    };
    actions.writeChatPages = [&](const std::string&, const std::vector<KTWhatsAppCovNodePtr>& c) {
        paged = c;
        return ExportReport{};
    };
    ItemCounter counter{0};
    const ExportReport report = recoverFilesThread(lists, out(), actions, &counter);

    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.filesWritten, 1u + 1u + 3u + 1u);  // resource, fav, cards, list
    EXPECT_EQ(counter.load(), 1 + 1 + 3 + 1);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0], std::make_tuple(std::string("/src/card"), out() + "/Resource/Shared Card",
                                         uint64_t{4000}));
    EXPECT_EQ(paged, std::vector<KTWhatsAppCovNodePtr>{lost});
    EXPECT_EQ(namesIn(out() + "/Favrites"), std::set<std::string>{"Fay.vcf"});
    EXPECT_EQ(namesIn(out() + "/Contact"),
              (std::set<std::string>{"Ann.vcf", "Globex.vcf", "unknown 7.vcf", "Contacts.txt"}));
    const std::string blanks = "  JobTitle:  Home Page:  Birthday:  Note:  \n\n";
    EXPECT_EQ(readFile(out() + "/Contact/Contacts.txt"),
              "Name:Ann  Phone:  Email:  Company:Acme" + blanks +
                  "Name:  Phone:  Email:  Company:Globex" + blanks +
                  "Name:  Phone:  Email:  Company:" + blanks);

    // The list of a second run cannot take the first run's name: it stays
    // TXT.txt and the report says so.
    const ExportReport rerun = recoverFilesThread(lists, out(), actions, nullptr);
    EXPECT_EQ(rerun.failures.size(), 1u);
    EXPECT_TRUE(fs::exists(out() + "/Contact/TXT.txt"));
}

TEST_F(TextExportsTest, HostileNamesStayInsideTheChosenFolder) {
    const std::vector<std::string> hostile = {
        "../x", "a/b", std::string("c\0d", 3), std::string(5000, 'L'), ".", "..", "/etc/passwd"};
    for (size_t i = 0; i < hostile.size(); ++i) {
        device.WhatsAppContactArray.push_back(contact(static_cast<int32_t>(i), hostile[i]));
    }
    const ExportReport report = ExportChatContactsthreader(source(), out(), nullptr);
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.filesWritten, hostile.size());
    EXPECT_EQ(namesIn(out()), std::set<std::string>{"Contact"});
    EXPECT_EQ(namesIn(home.path()), std::set<std::string>{"out"});
    const std::set<std::string> written = namesIn(out() + "/Contact");
    EXPECT_EQ(written.size(), hostile.size());
    for (const std::string& name : written) {
        EXPECT_TRUE(fs::is_regular_file(out() + "/Contact/" + name)) << name;
        EXPECT_LE(name.size(), kSafeFileNameMaxBytes + 4);
    }
}

TEST_F(TextExportsTest, UnwritableDestinationsAreReportedWithoutCrashing) {
    device.WhatsAppContactArray = {contact(1, "Ann"), contact(2, "Bo"), contact(3, "Cy")};
    device.WhatsAppCallArray = {std::make_shared<KTCallHistoryNode>()};
    device.WhatsAppConvChatArray = {conversation(1, "Bob", "s")};

    // A file where the export folder should be: no folder can be made.
    writeFile(out() + "/Contact", "in the way");
    writeFile(out() + "/Chats", "in the way");
    for (const ExportReport& report : {ExportChatContactsthreader(source(), out(), nullptr),
                                       ExportChatAsTextthreader(source(), out(), 0),
                                       ExportSelectedChatContactsthreader(source(), out(), 0)}) {
        EXPECT_EQ(report.filesWritten, 0u);
        EXPECT_EQ(report.failures.size(), 1u);
    }

    // Single files that cannot be written: a folder in the card's place, and
    // a link that would lead the card outside the chosen folder.
    const std::string elsewhere = home.path() + "/elsewhere.txt";
    writeFile(elsewhere, "untouched");
    fs::create_directories(out() + "/Favorites Contact/Ann.vcf");
    fs::create_symlink(elsewhere, out() + "/Favorites Contact/Bo.vcf");
    for (const char* name : {"Ann", "Bo", "Cy"}) {
        auto fav = std::make_shared<KTWhatsAppFavContact>();
        fav->contactName = name;
        device.WhatsAppFacContactArray.push_back(fav);
    }
    const ExportReport report = ExportChatFavContactsthreader(source(), out(), nullptr);
    EXPECT_EQ(report.filesWritten, 1u);
    EXPECT_EQ(report.failures.size(), 2u);
    EXPECT_EQ(readFile(elsewhere), "untouched");

    EXPECT_EQ(ExportWhatsAppChatCallthreader(ExportSource{}, out(), nullptr).failures.size(), 1u);
}

}  // namespace
}  // namespace vessamo
