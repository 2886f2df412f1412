#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/Files.h"
#include "export/ExportFileNames.h"
#include "export/HtmlChatExport.h"
#include "export/HtmlText.h"
#include "export/MediaExports.h"
#include "export/TextExports.h"
#include "support/ExportFixture.h"

namespace vessamo {
namespace {

using Names = std::set<std::string>;
using test::namesIn;
using test::readFile;

bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

std::string pageText(const std::string& path) {
    std::string utf16 = readFile(path);
    std::string ascii;
    // The pages are UTF-16LE with a mark; the tests look for ASCII only.
    for (size_t at = 2; at + 1 < utf16.size(); at += 2) {
        ascii += utf16[at + 1] == 0 ? utf16[at] : '?';
    }
    return ascii;
}

TEST(ExportFileNamesTest, SecondAndThirdOfANameAreNumberedAndOwnersKeepTheirName) {
    ExportFileNames names("/out");
    EXPECT_EQ(names.claim("Anna", ".vcf"), "/out/Anna.vcf");
    EXPECT_EQ(names.claim("Anna", ".vcf"), "/out/Anna (2).vcf");
    EXPECT_EQ(names.claim("Anna", ".txt"), "/out/Anna.txt");  // another extension is free
    EXPECT_EQ(names.claim("Anna", ".vcf", "49170"), "/out/Anna (3).vcf");
    EXPECT_EQ(names.claim("Anna", ".vcf", "49170"), "/out/Anna (3).vcf");  // the same person
    // A record truly called "Anna (2)" does not take the numbered one's file.
    EXPECT_EQ(names.claim("Anna (2)", ".vcf"), "/out/Anna (2) (2).vcf");
    EXPECT_EQ(names.claimFileName("clip.mp4"), "/out/clip.mp4");
    EXPECT_EQ(names.claimFileName("clip.mp4"), "/out/clip (2).mp4");
    EXPECT_EQ(names.claimFileName(".hidden"), "/out/.hidden");
    EXPECT_EQ(names.claimFileName(".hidden"), "/out/.hidden (2)");
    // Names stay one harmless path component.
    EXPECT_EQ(names.claim("../x", ".vcf"), "/out/.._x.vcf");
    EXPECT_EQ(names.claim("../x", ".vcf"), "/out/.._x (2).vcf");

    // Pages of one chat: the whole set moves on when any of its names is taken.
    const std::vector<std::string> one = {".html"};
    const std::vector<std::string> two = {"_0.html", "_1.html"};
    EXPECT_EQ(names.claimStem("Bo1", two), "/out/Bo1");
    EXPECT_EQ(names.claimStem("Bo1", one), "/out/Bo1");  // "Bo1.html" is still free
    EXPECT_EQ(names.claimStem("Bo1", two), "/out/Bo1 (2)");
    EXPECT_EQ(names.claimStem("Bo1", one), "/out/Bo1 (2)");
}

class NameClashTest : public test::ExportFixture {
protected:
    KTWhatsAppNode& said(int32_t chat, std::string_view name, std::string_view number,
                         std::string_view text) {
        KTWhatsAppNode& message =
            make.message(chat, text, Direction::Receive, test::kMarch14At1509);
        message.messageName = make.text(name);
        message.messageNumb = make.text(number);
        return message;
    }
};

// Two people called alike: each export that writes a file per person keeps
// both, the second as "Name (2)".
TEST_F(NameClashTest, SameNamedPeopleEachKeepTheirCard) {
    make.contact("This Is DFIR Two", "+1 919 888 7386");
    make.contact("This Is DFIR Two", "+1 919 555 0100");
    make.favourite("Anna", "491701111111@s.whatsapp.net");
    make.favourite("Anna", "491702222222@s.whatsapp.net");
    finish();

    const ExportReport contacts = ExportChatContactsthreader(*result, out);
    EXPECT_TRUE(contacts.failures.empty());
    EXPECT_EQ(contacts.filesWritten, 2u);
    EXPECT_EQ(namesIn(out + "/Contact"),
              (Names{"This Is DFIR Two.vcf", "This Is DFIR Two (2).vcf"}));
    EXPECT_TRUE(contains(readFile(out + "/Contact/This Is DFIR Two.vcf"), "+1 919 888 7386"));
    EXPECT_TRUE(contains(readFile(out + "/Contact/This Is DFIR Two (2).vcf"), "+1 919 555 0100"));

    const ExportReport favourites = ExportChatFavContactsthreader(*result, out);
    EXPECT_TRUE(favourites.failures.empty());
    EXPECT_EQ(namesIn(out + "/Favorites Contact"), (Names{"Anna.vcf", "Anna (2).vcf"}));
    EXPECT_TRUE(contains(readFile(out + "/Favorites Contact/Anna (2).vcf"), "+491702222222"));

    // The combined recovery's contacts and WhatsApp contacts.
    RecoveryLists lists;
    for (const KTContactNode& contact : result->WhatsAppContactArray) {
        lists.contacts.push_back(&contact);
    }
    for (const KTWhatsAppFavContact& contact : result->WhatsAppFacContactArray) {
        lists.favContacts.push_back(&contact);
    }
    const std::string recovered = out + "/recovery";
    const ExportReport recovery = recoverFilesThread(*result, lists, recovered);
    EXPECT_TRUE(recovery.failures.empty());
    EXPECT_EQ(namesIn(recovered + "/Contact"),
              (Names{"This Is DFIR Two.vcf", "This Is DFIR Two (2).vcf", "Contacts.txt"}));
    EXPECT_EQ(namesIn(recovered + "/Favrites"), (Names{"Anna.vcf", "Anna (2).vcf"}));
}

// Same-named chats keep a text file and a page each.
TEST_F(NameClashTest, SameNamedChatsEachKeepTheirTextAndPages) {
    make.chat(1, "Family", "").currentSubject = make.text("Weekend");
    make.chat(2, "Family", "").currentSubject = make.text("Weekend");
    // "Anna1" with id 23 and "Anna12" with id 3 meet on the page name "Anna123".
    make.chat(23, "Anna1", "");
    make.chat(3, "Anna12", "");
    // A partner known only by a private identifier: no page named after it.
    make.chat(7, "", "1234567890123@lid");
    said(1, "Mum", "491", "first family chat");
    said(2, "Dad", "492", "second family chat");
    said(23, "Anna", "493", "chat twenty-three");
    said(3, "Anna", "494", "chat three");
    said(7, "Bo", "", "private chat");
    finish();

    const ExportReport text = ExportChatAsTextthreader(*result, chats(), out);
    EXPECT_TRUE(text.failures.empty());
    EXPECT_EQ(text.filesWritten, 5u);
    EXPECT_TRUE(namesIn(out + "/Chats").count("Family-Weekend.txt"));
    EXPECT_TRUE(contains(readFile(out + "/Chats/Family-Weekend.txt"), "first family chat"));
    EXPECT_TRUE(contains(readFile(out + "/Chats/Family-Weekend (2).txt"), "second family chat"));

    const std::string html = out + "/html";
    const ExportReport pages = exportChatsAsHtml(*result, chats(), html);
    EXPECT_TRUE(pages.failures.empty());
    EXPECT_EQ(namesIn(html + "/Chats"), (Names{"Family1.html", "Family2.html", "Anna123.html",
                                               "Anna123 (2).html", "Chat7.html"}));
    EXPECT_TRUE(contains(pageText(html + "/Chats/Anna123.html"), "chat twenty-three"));
    EXPECT_TRUE(contains(pageText(html + "/Chats/Anna123 (2).html"), "chat three"));
}

// Media browser items and message media of one file name are both kept;
// the same file asked for twice is copied once.
TEST_F(NameClashTest, SameNamedMediaAreBothCopied) {
    const std::string first = home.path() + "/src/a/IMG_0001.jpg";
    const std::string second = home.path() + "/src/b/IMG_0001.jpg";
    test::writeFile(first, "first picture");
    test::writeFile(second, "second picture");
    std::vector<IKImageItem> items = {
        IKImageItem::fromTreeNode(make.media("Message/Media/a/IMG_0001.jpg", first)),
        IKImageItem::fromTreeNode(make.media("Message/Media/b/IMG_0001.jpg", second))};
    items.push_back(items.front());
    // Two Timeline messages whose files share a name in different folders.
    make.state().fullTimelinPath = home.path() + "/timeline";
    test::writeFile(home.path() + "/timeline/Message/Media/x/clip.mp4", "clip x");
    test::writeFile(home.path() + "/timeline/Message/Media/y/clip.mp4", "clip y");
    make.chat(1, "Bob", "491");
    for (const char* stored : {"Media/x/clip.mp4", "Media/y/clip.mp4", "Media/x/clip.mp4"}) {
        KTWhatsAppNode& message = mediaMessage(1, Direction::Receive, 2, stored);
        message.bTimelineNode = true;
    }
    finish();

    const ExportReport browser = ExportAllMediaFilesthreader(*result, items, out);
    EXPECT_TRUE(browser.failures.empty());
    EXPECT_EQ(browser.filesWritten, 2u);
    EXPECT_EQ(namesIn(out + "/Media Files"), (Names{"IMG_0001.jpg", "IMG_0001 (2).jpg"}));
    EXPECT_EQ(readFile(out + "/Media Files/IMG_0001.jpg"), "first picture");
    EXPECT_EQ(readFile(out + "/Media Files/IMG_0001 (2).jpg"), "second picture");

    const std::string chatsOut = out + "/chats";
    const ExportReport media = ExportChatAsAttachmentthreader(*result, chats(), chatsOut);
    EXPECT_TRUE(media.failures.empty());
    // Newest first: the last message's file (x) comes first and keeps the
    // plain name; the oldest message shares x's file and adds none.
    EXPECT_EQ(media.filesWritten, 2u);
    EXPECT_EQ(namesIn(chatsOut + "/Media Files"), (Names{"clip.mp4", "clip (2).mp4"}));
    EXPECT_EQ(readFile(chatsOut + "/Media Files/clip.mp4"), "clip x");
    EXPECT_EQ(readFile(chatsOut + "/Media Files/clip (2).mp4"), "clip y");
}

}  // namespace
}  // namespace vessamo
