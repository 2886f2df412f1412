#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "addressbook/AddressBookReader.h"
#include "common/PlistValue.h"
#include "sample/SampleAddressBook.h"
#include "sample/SampleSources.h"
#include "whatsapp/AccountReader.h"
#include "whatsapp/ContactLookups.h"
#include "whatsapp/FavouriteContactsReader.h"
#include "whatsapp/MessageReader.h"
#include "whatsapp/WhatsAppTestSupport.h"

namespace vessamo {
namespace {

namespace fs = std::filesystem;
using sample::SampleChat;
using sample::SampleChatDatabase;
using sample::SampleContact;
using sample::SampleMember;
using sample::SampleMessage;

const std::string kShared = "AppDomainGroup-group.net.whatsapp.WhatsApp.shared";
const std::string kPreferences = "Library/Preferences/group.net.whatsapp.WhatsApp.shared.plist";
const std::string kHome = "HomeDomain";
const std::string kAnna = "4917012345678@s.whatsapp.net";
const std::string kBen = "4917098765432@s.whatsapp.net";
const std::string kCarl = "4915112223333@s.whatsapp.net";
const std::string kDora = "4915550001111@s.whatsapp.net";
const std::string kLid = "205690463334636@lid";
const std::string kGroup = "120363000000000001@g.us";

// Who a record says wrote it: number and name.
using Who = std::pair<std::string, std::string>;
Who who(const KTWhatsAppNode& message) {
    return {std::string(message.messageNumb), std::string(message.messageName)};
}

std::string preferences(const std::string& ownJid, const std::string& name) {
    PlistValue::Dictionary prefs;
    prefs["OwnJabberID"] = PlistValue::string(ownJid);
    prefs["FullUserName"] = PlistValue::string(name);
    const auto bytes = PlistValue::dictionary(std::move(prefs)).toBinary();
    return {bytes.begin(), bytes.end()};
}

// The stages of a backup scan that make the messages, in their order.
void scanMessages(test::WhatsAppBackupFixture& fixture) {
    EXPECT_TRUE(fixture.index(fixture.folder).ok());
    (void)scanContactThread(fixture.state, fixture.folder);  // a backup may have none
    EXPECT_TRUE(getWhatsAppFavateContact(fixture.state, fixture.folder).ok());
    EXPECT_TRUE(getWhatsAppIDInfo(fixture.state, fixture.folder).ok());
    EXPECT_TRUE(scanWhatsAppMessageThread(fixture.state, fixture.folder).ok());
}

SampleMessage row(int64_t pk, int64_t chat, std::optional<std::string> from,
                  std::optional<std::string> push = std::nullopt) {
    SampleMessage m;
    m.pk = pk;
    m.chat = chat;
    m.date = 650000000.0 + static_cast<double>(pk);
    m.text = "text " + std::to_string(pk);
    m.fromJid = std::move(from);
    m.pushName = std::move(push);
    return m;
}

SampleMessage sent(int64_t pk, int64_t chat, const std::string& to) {
    SampleMessage m = row(pk, chat, std::nullopt);
    m.fromMe = true;
    m.toJid = to;
    return m;
}

// A one-to-one chat with Anna (in the address book, saved without country
// code), a group, and a chat with Carl, whom only WhatsApp knows.
SampleChatDatabase authorDatabase() {
    SampleChatDatabase db;
    db.chats = {SampleChat{1, kAnna, "Anna S", 0}, SampleChat{2, kGroup, "Crew", 1},
                SampleChat{3, kCarl, "Carl WhatsApp", 0}};
    db.members = {SampleMember{1, 2, kBen, "Ben B"}, SampleMember{2, 2, kLid, std::nullopt}};
    db.pushNames = {{kAnna, "Anna ✨"}, {kBen, "Benny"}, {kDora, "Dora D"}};
    db.messages = {row(1, 1, kAnna, "Anna ✨"),
                   sent(2, 1, kAnna),
                   row(3, 1, std::nullopt),  // no sender column: the chat's partner
                   row(4, 2, kGroup, "Benny"),
                   row(5, 2, kGroup, "Dora D"),  // no member row: the push name's JID
                   row(6, 2, kGroup, "Stranger"),
                   row(7, 2, kGroup),
                   sent(8, 2, kGroup),
                   row(9, 3, kCarl, "CO/kxKIGIAA="),  // what newer versions keep there
                   row(10, 1, kAnna),
                   row(11, 2, kGroup),
                   row(12, 2, kGroup)};
    auto& m = db.messages;
    m[3].groupMember = 1;
    m[6].groupMember = 2;  // a member known only by private identifier
    m[9].type = 10;
    m[9].text.reset();
    m[10].type = 6;
    m[10].groupEventType = 12;
    m[10].text.reset();
    m[11].type = 6;
    m[11].groupEventType = 99;
    return db;
}

class MessageAuthors : public ::testing::Test {
protected:
    void build(bool withAccount) {
        fixture.addChatDatabase(authorDatabase());
        if (withAccount) {
            fixture.builder.addFile(kShared, kPreferences,
                                    preferences("491609876543@s.whatsapp.net", "Olga Owner"));
        }
        SampleContact anna{.rowid = 1, .first = "Anna", .last = "Adressbuch"};
        anna.values = {{sample::kPhoneProperty, "0170 12345678"}};
        SampleContact other{.rowid = 2, .first = "Otto", .last = "Other"};
        other.values = {{sample::kPhoneProperty, "+49 30 1234567"}};
        sample::addAddressBook(fixture.builder, {anna, other}, false);
        std::string error;
        ASSERT_TRUE(fixture.builder.write(fixture.folder, &error)) << error;
        scanMessages(fixture);
    }

    const std::vector<KTWhatsAppNode>& messages() const { return fixture.state.wpChatArray; }

    test::WhatsAppBackupFixture fixture;
};

TEST_F(MessageAuthors, EachMessageNamesItsAuthor) {
    build(true);
    ASSERT_EQ(messages().size(), 12u);
    const Who anna{"4917012345678", "Anna Adressbuch"};
    const Who owner{"491609876543", "Olga Owner"};
    // One-to-one: the partner in the address book under a national number,
    // the owner for what the owner sent, the partner again without ZFROMJID.
    EXPECT_EQ(who(messages()[0]), anna);
    EXPECT_EQ(messages()[0].messageType, Direction::Receive);
    EXPECT_EQ(who(messages()[1]), owner);
    EXPECT_EQ(messages()[1].messageType, Direction::Send);
    EXPECT_EQ(who(messages()[2]), anna);
    // Group: the member row, then the JID WhatsApp keeps the push name
    // under, then the push name alone; a private identifier is no number.
    EXPECT_EQ(who(messages()[3]), (Who{"4917098765432", "Benny"}));
    EXPECT_EQ(who(messages()[4]), (Who{"4915550001111", "Dora D"}));
    EXPECT_EQ(who(messages()[5]), (Who{"", "Stranger"}));
    EXPECT_EQ(who(messages()[6]), (Who{"", ""}));
    EXPECT_EQ(who(messages()[7]), owner);
    // An encoded push name is never a name: WhatsApp's own name of the chat.
    EXPECT_EQ(who(messages()[8]), (Who{"4915112223333", "Carl WhatsApp"}));
    for (const KTWhatsAppNode& message : messages()) {
        EXPECT_EQ(message.messageName.find("@"), std::string::npos) << message.messageName;
        EXPECT_EQ(message.messageNumb.find("@"), std::string::npos) << message.messageNumb;
        if (message.messageType == Direction::Receive) {
            EXPECT_NE(message.messageNumb, owner.first);
        }
    }
}

TEST_F(MessageAuthors, WithoutAnAccountTheOwnerIsMe) {
    build(false);
    ASSERT_EQ(messages().size(), 12u);
    EXPECT_EQ(who(messages()[1]), (Who{"", "Me"}));
    EXPECT_EQ(who(messages()[7]), (Who{"", "Me"}));
    // With no account number, a national number is read in the region of
    // the number looked for.
    EXPECT_EQ(who(messages()[0]), (Who{"4917012345678", "Anna Adressbuch"}));
}

TEST_F(MessageAuthors, SystemRowsAreLinesWithoutAuthorAndNotCounted) {
    build(true);
    ASSERT_EQ(messages().size(), 12u);
    const auto system = [&](size_t at) {
        const KTWhatsAppNode& m = messages()[at];
        return std::tuple(m.isSystem(), std::string(m.systemText), who(m));
    };
    EXPECT_EQ(system(9), std::tuple(true, "Messages and calls are end-to-end encrypted", Who{}));
    EXPECT_EQ(system(10), std::tuple(true, "Group created", Who{}));
    EXPECT_EQ(system(11), std::tuple(true, "Group event", Who{}));
    for (size_t i = 0; i < 9; ++i) {
        EXPECT_FALSE(messages()[i].isSystem()) << i;
        EXPECT_TRUE(messages()[i].systemText.empty()) << i;
    }
    EXPECT_EQ(std::count_if(messages().begin(), messages().end(), countsAsMessage), 9);
}

TEST(MessageAuthorsProgress, SystemRowsAreLeftOutOfTheRunningCount) {
    test::WhatsAppBackupFixture fixture;
    SampleChatDatabase db;
    db.chats = {SampleChat{1, kAnna, "Anna S", 0}};
    for (int64_t pk = 1; pk <= 560; ++pk) {
        db.messages.push_back(row(pk, 1, kAnna));
        if (pk <= 20) {
            db.messages.back().type = 10;  // 20 notices first
        }
    }
    fixture.addChatDatabase(db);
    fixture.writeAndIndex();
    ASSERT_TRUE(scanWhatsAppMessageThread(fixture.state, fixture.folder).ok());
    // 540 messages: the first mark (551 messages) is never reached.
    EXPECT_EQ(fixture.progress(), std::vector<int>{95});
    EXPECT_EQ(fixture.state.wpChatArray.size(), 560u);
}

TEST(PhoneRegion, TheAccountsNumberThenTheBackupsLocale) {
    test::ScanRun run;
    EXPECT_EQ(phoneRegionOf(run.state), "");
    run.state.currentNodeInfo.emplace();
    run.state.currentNodeInfo->localeRegion = "CH";
    EXPECT_EQ(phoneRegionOf(run.state), "CH");
    run.state.currentNodeInfo->whatsAppNodeNumber = "19195794674@s.whatsapp.net";
    EXPECT_EQ(phoneRegionOf(run.state), "US");
}

TEST(PhoneRegion, TheLocaleComesFromTheBackupsGlobalPreferences) {
    test::WhatsAppBackupFixture fixture;
    fixture.addChatDatabase(authorDatabase());
    PlistValue::Dictionary global;
    global["AppleLocale"] = PlistValue::string("de_CH");
    const auto bytes = PlistValue::dictionary(std::move(global)).toBinary();
    fixture.builder.addFile(kHome, "Library/Preferences/.GlobalPreferences.plist",
                            std::string(bytes.begin(), bytes.end()));
    fixture.writeAndIndex();
    ASSERT_TRUE(getWhatsAppIDInfo(fixture.state, fixture.folder).ok());
    ASSERT_TRUE(fixture.state.currentNodeInfo);
    EXPECT_EQ(fixture.state.currentNodeInfo->localeRegion, "CH");
}

// The sample phone: every message's author as the world that made it says.
class SampleAuthors : public ::testing::Test {
protected:
    void scan(const sample::WhatsAppSampleOptions& options) {
        world = sample::makeWhatsAppSample(options);
        sample::SampleBackupBuilder builder =
            sample::whatsAppBackup(sample::CatalogueLayout::ManifestDb, {}, options);
        std::string error;
        ASSERT_TRUE(builder.write(fixture.folder, &error)) << error;
        scanMessages(fixture);
        ASSERT_EQ(fixture.state.wpChatArray.size(), world.database.messages.size());
    }

    // The person who sent a received message of the world.
    const sample::SamplePerson& senderOf(const SampleMessage& message) const {
        std::string jid = message.fromJid.value_or("");
        if (message.groupMember != 0) {
            for (const SampleMember& member : world.database.members) {
                if (member.pk == message.groupMember) {
                    jid = member.jid;
                }
            }
        }
        for (const sample::SamplePerson& person : world.people) {
            if (person.jid() == jid) {
                return person;
            }
        }
        ADD_FAILURE() << "no person for " << jid;
        return world.people.front();
    }

    sample::WhatsAppSample world;
    test::WhatsAppBackupFixture fixture;
};

TEST_F(SampleAuthors, AddressBookNamesInChatsAndGroups) {
    sample::WhatsAppSampleOptions options;
    options.systemRows = true;
    scan(options);
    const Who owner{world.ownerNumber, world.ownerName};
    size_t nationally = 0;
    size_t david = 0;
    for (size_t i = 0; i < world.database.messages.size(); ++i) {
        SCOPED_TRACE(i);
        const SampleMessage& made = world.database.messages[i];
        const KTWhatsAppNode& read = fixture.state.wpChatArray[i];
        if (made.type == 6 || made.type == 10) {
            EXPECT_TRUE(read.isSystem());
            EXPECT_FALSE(read.systemText.empty());
            EXPECT_EQ(who(read), Who{});
            continue;
        }
        EXPECT_FALSE(read.isSystem());
        if (made.fromMe) {
            EXPECT_EQ(who(read), owner);
            continue;
        }
        const sample::SamplePerson& person = senderOf(made);
        ASSERT_TRUE(person.inAddressBook);
        EXPECT_EQ(who(read), (Who{person.number, person.first + " " + person.last}));
        nationally += person.savedNationally ? 1 : 0;
        david += read.messageName == "David García" ? 1 : 0;
    }
    EXPECT_GT(nationally, 0u);  // "0170 …" entries met their numbers
    EXPECT_GT(david, 0u);
}

TEST_F(SampleAuthors, WithoutAddressBookWhatsAppsNamesThenPushNames) {
    sample::WhatsAppSampleOptions options;
    options.addressBook = 0;
    scan(options);
    size_t withoutPushName = 0;
    for (size_t i = 0; i < world.database.messages.size(); ++i) {
        SCOPED_TRACE(i);
        const SampleMessage& made = world.database.messages[i];
        const KTWhatsAppNode& read = fixture.state.wpChatArray[i];
        if (made.fromMe) {
            EXPECT_EQ(who(read), (Who{world.ownerNumber, world.ownerName}));
            continue;
        }
        const sample::SamplePerson& person = senderOf(made);
        // WhatsApp's contacts list push names first, then the names group
        // members are saved under, which also name those without one.
        const std::string expected =
            person.pushName.empty() ? person.first + " " + person.last : person.pushName;
        EXPECT_EQ(who(read), (Who{person.number, expected}));
        withoutPushName += person.pushName.empty() ? 1 : 0;
    }
    EXPECT_GT(withoutPushName, 0u);
}

// josh_ios15's chat database and address book, put into a Manifest.db
// backup under their real keys. Expectations come from SQL on a plain copy.
class RealPhoneAuthors : public ::testing::Test {
protected:
    void build(bool addressBook, bool account) {
        const std::string copies = fixture.home.path() + "/copies";
        chat = test::copyOfRealData("josh_ios15/ChatStorage.sqlite", copies);
        fixture.builder.addFile(kShared, "ChatStorage.sqlite", test::readFile(chat));
        if (addressBook) {
            for (const char* name : {"AddressBook.sqlitedb", "AddressBook.sqlitedb-wal"}) {
                const std::string copy =
                    test::copyOfRealData(std::string("josh_ios15/") + name, copies);
                fixture.builder.addFile(kHome, std::string("Library/AddressBook/") + name,
                                        test::readFile(copy));
            }
        }
        if (account) {
            fixture.builder.addFile(kShared, kPreferences,
                                    preferences("19195794674@s.whatsapp.net", "Josh"));
        }
        std::string error;
        ASSERT_TRUE(fixture.builder.write(fixture.folder, &error)) << error;
        scanMessages(fixture);
        rows = test::queryRows(chat,
                               "select ZCHATSESSION, ZISFROMME, ZMESSAGETYPE from ZWAMESSAGE "
                               "left join ZWAMEDIAITEM on ZWAMESSAGE.Z_PK = ZWAMEDIAITEM.ZMESSAGE");
        ASSERT_EQ(rows.size(), 32u);
        ASSERT_EQ(fixture.state.wpChatArray.size(), rows.size());
    }

    // Every message's author, sorted by what the row is.
    void expectAuthors(const Who& partner, const Who& owner) {
        size_t system = 0;
        size_t received = 0;
        for (size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE(i);
            const KTWhatsAppNode& message = fixture.state.wpChatArray[i];
            if (rows[i][2] == "6" || rows[i][2] == "10") {
                ++system;
                EXPECT_TRUE(message.isSystem());
                EXPECT_FALSE(message.systemText.empty());
                EXPECT_EQ(who(message), Who{});
            } else if (rows[i][1] == "1") {
                EXPECT_EQ(who(message), owner);
            } else {
                ++received;
                EXPECT_EQ(rows[i][0], "5");  // only the DFIR chat has people in it
                EXPECT_EQ(who(message), partner);
            }
        }
        EXPECT_EQ(system, 11u);  // a notice per chat, the groups' events
        EXPECT_EQ(received, 10u);
        EXPECT_EQ(std::count_if(fixture.state.wpChatArray.begin(), fixture.state.wpChatArray.end(),
                                countsAsMessage),
                  21);
    }

    test::WhatsAppBackupFixture fixture;
    std::string chat;
    std::vector<std::vector<std::string>> rows;
};

TEST_F(RealPhoneAuthors, TheDfirChatsSenderHasTheAddressBooksName) {
    build(true, false);
    ASSERT_FALSE(fixture.state.contactArray.empty());
    expectAuthors(Who{"19198887386", "This Is DFIR Two"}, Who{"", "Me"});
    const auto& chats = fixture.state.wpConvChatArray;
    ASSERT_GE(chats.size(), 5u);
    EXPECT_EQ(chats[4].currentChatName, "This Is DFIR Two");
    // The private identifier of a group member is no name to show.
    for (const KTWhatsAppFavContact& favourite : fixture.state.whatsAppFavContactArray) {
        EXPECT_EQ(favourite.contactName.find("@lid"), std::string::npos);
    }
    // The group rows are events of WhatsApp's: created, then the owner added.
    std::vector<std::string> events;
    for (const KTWhatsAppNode& message : fixture.state.wpChatArray) {
        if (message.chatID == 1 && message.isSystem()) {
            events.emplace_back(message.systemText);
        }
    }
    std::sort(events.begin(), events.end());
    EXPECT_EQ(events, (std::vector<std::string>{"Added to the group", "Group created",
                                                "Messages and calls are end-to-end encrypted"}));
}

TEST_F(RealPhoneAuthors, WithoutAddressBookWhatsAppsOwnNameAndTheAccount) {
    build(false, true);
    EXPECT_TRUE(fixture.state.contactArray.empty());
    // ZWAPROFILEPUSHNAME's name, never the encoded ZPUSHNAME of the rows.
    expectAuthors(Who{"19198887386", "DFIR Two"}, Who{"19195794674", "Josh"});
}

}  // namespace
}  // namespace vessamo
