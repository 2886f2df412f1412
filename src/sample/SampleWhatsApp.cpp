#include "sample/SampleWhatsApp.h"

#include <array>
#include <cstdio>

#include "common/PlistValue.h"
#include "results/BackupFileIndex.h"
#include "sample/SampleImage.h"
#include "sample/SampleVoiceNote.h"

namespace vessamo::sample {

namespace {

constexpr std::array<const char*, 12> kFirst = {"Anna",  "Ben",  "Clara", "David", "Elif", "Farid",
                                                "Greta", "Hugo", "Ines",  "Jonas", "Kira", "Luca"};
constexpr std::array<const char*, 8> kLast = {"Schmidt", "Yılmaz", "Novak", "García",
                                              "Müller",  "Okafor", "Rossi", "Lindqvist"};
constexpr std::array<const char*, 10> kPhrases = {
    "Hi! Are we still on for tonight?",
    "Running 10 minutes late, sorry 🙈",
    "Can you send me the address again?",
    "Grüße aus München ☀️",
    "I'll bring the cake 🎂",
    "See <b>this</b> & tell me what you think <script>alert(1)</script>",
    "ok",
    "Call me when you land ✈️",
    "Thanks, that helped a lot!",
    "Who's coming on Saturday?"};

constexpr double kFirstMessage = 636249600.0;  // 2021-03-01 00:00 UTC, seconds since 2001

std::string uuidFor(size_t n) {
    char text[48];
    std::snprintf(text, sizeof(text), "%08zx-4b1d-4c0e-9a7f-%012zx", n * 2654435761u % 0xFFFFFFFFu,
                  n);
    return text;
}

std::vector<SamplePerson> makePeople(const WhatsAppSampleOptions& options) {
    std::vector<SamplePerson> people;
    for (size_t i = 0; i < options.people; ++i) {
        SamplePerson person;
        char number[24];
        std::snprintf(number, sizeof(number), "4917%09zu", 12345678 + i * 7919);
        person.number = number;
        person.first = kFirst[i % kFirst.size()];
        person.last = kLast[(i / kFirst.size() + i) % kLast.size()];
        person.pushName = i % 4 == 3 ? "" : person.first + " ✨";
        person.inAddressBook = i < options.addressBook;
        person.savedNationally = i % 5 == 2;
        people.push_back(std::move(person));
    }
    return people;
}

struct ChatPlan {
    SampleChat chat;
    std::vector<size_t> members;  // people indexes
    std::vector<int64_t> memberKeys;
};

std::vector<ChatPlan> makeChats(const WhatsAppSampleOptions& options,
                                const std::vector<SamplePerson>& people,
                                SampleChatDatabase& database) {
    std::vector<ChatPlan> plans;
    int64_t pk = 1;
    for (size_t i = 0; i < options.chats && !people.empty(); ++i) {
        const SamplePerson& partner = people[i % people.size()];
        ChatPlan plan;
        plan.chat = SampleChat{pk++, partner.jid(), partner.first + " " + partner.last, 0};
        plan.members = {i % people.size()};
        plans.push_back(std::move(plan));
    }
    int64_t memberPk = 1;
    for (size_t g = 0; g < options.groups && people.size() >= 2; ++g) {
        ChatPlan plan;
        const std::string creator = people[g % people.size()].number;
        // Older groups carry their creator in the JID; newer ones do not.
        std::string jid = g % 2 == 0 ? creator + "-16" + std::to_string(14000000 + g) + "@g.us"
                                     : "1203630" + std::to_string(44520422953 + g) + "@g.us";
        plan.chat = SampleChat{pk++, jid, g == 0 ? "Climbing crew 🧗" : "Family", int64_t(g + 1)};
        for (size_t m = 0; m < std::min<size_t>(4, people.size()); ++m) {
            size_t who = (g * 3 + m) % people.size();
            plan.members.push_back(who);
            plan.memberKeys.push_back(memberPk);
            std::optional<std::string> name;
            if (m != 1) {
                name = people[who].first + " " + people[who].last;
            }
            database.members.push_back(
                SampleMember{memberPk++, plan.chat.pk, people[who].jid(), name});
        }
        plans.push_back(std::move(plan));
    }
    for (const ChatPlan& plan : plans) {
        database.chats.push_back(plan.chat);
    }
    return plans;
}

}  // namespace

std::string SamplePerson::writtenNumber() const {
    if (number.size() < 6) {
        return "+" + number;
    }
    if (savedNationally) {
        return "0" + number.substr(2, 3) + " " + number.substr(5);
    }
    return "+" + number.substr(0, 2) + " " + number.substr(2, 3) + " " + number.substr(5);
}

namespace {

void attachMedia(size_t n, const std::string& chatJid, bool small, SampleMessage& message,
                 std::vector<SampleMediaFile>& files) {
    const std::string folder =
        "Media/" + chatJid + "/" + uuidFor(n).substr(0, 1) + "/" + uuidFor(n).substr(1, 1) + "/";
    const std::string base = folder + uuidFor(n);
    SampleMediaItem media;
    switch ((n / 7) % 7) {
        case 0:
        case 1:
            message.type = 1;
            media.localPath = base + ".jpg";
            media.thumbnailPath = base + ".thumb";
            files.push_back({*media.localPath,
                             small ? solidColourPng(4, 3, uint8_t(40 + n % 200), 160, 90)
                                   : solidColourPng(120, 90, uint8_t(40 + n % 200), 160, 90)});
            files.push_back(
                {*media.thumbnailPath, solidColourPng(24, 18, uint8_t(40 + n % 200), 160, 90)});
            break;
        case 2:
            message.type = 3;  // a voice note
            media.localPath = base + ".opus";
            files.push_back({*media.localPath, sampleVoiceNote()});
            break;
        case 3:
            message.type = 4;
            media.vcardName = "Mia Sommer";
            media.vcardString =
                "BEGIN:VCARD\nVERSION:3.0\nN:Sommer;Mia;;;\nFN:Mia Sommer\nTEL;type=CELL:+49 151 "
                "2345678\nEND:VCARD";
            break;
        case 4:
            message.type = 5;
            media.latitude = n % 2 == 0 ? 0.0 : 48.1372;
            media.longitude = n % 2 == 0 ? 0.0 : 11.5756;
            break;
        case 5:
            message.type = 1;  // only the small preview arrived
            media.xmppThumbPath = base + ".thumb";
            files.push_back({*media.xmppThumbPath, solidColourPng(24, 18, 200, 60, 60)});
            break;
        default:
            message.type = 2;
            media.localPath = base + ".mp4";
            media.thumbnailPath = base + ".thumb";
            files.push_back({*media.localPath, std::string("\0\0\0\x18"
                                                           "ftypmp42",
                                                           12)});
            files.push_back({*media.thumbnailPath, solidColourPng(32, 18, 10, 10, 10)});
            break;
    }
    message.text.reset();
    message.media = media;
}

SampleMessage makeMessage(size_t n, const ChatPlan& plan, const WhatsAppSample& sample) {
    SampleMessage message;
    message.pk = static_cast<int64_t>(n + 1);
    message.chat = plan.chat.pk;
    message.date = kFirstMessage + static_cast<double>(n) * 137.25;
    message.wholeSecondDate = n % 3 == 0;
    message.fromMe = n % 3 == 1;
    message.text = kPhrases[n % kPhrases.size()];
    message.starred = n % 17 == 5;
    const std::string own = sample.ownerNumber + "@s.whatsapp.net";
    const bool group = plan.chat.groupInfo != 0;
    if (message.fromMe) {
        message.toJid = plan.chat.jid;
    } else {
        size_t member = (n / 2) % plan.members.size();
        const SamplePerson& sender = sample.people[plan.members[member]];
        message.fromJid = plan.chat.jid;
        message.toJid = own;
        if (!sender.pushName.empty()) {
            message.pushName = sender.pushName;
        }
        if (group) {
            message.groupMember = plan.memberKeys[member];
        }
    }
    return message;
}

// Written after the people's messages but dated before them, as WhatsApp
// writes the notice when a chat opens: the group's JID as sender, the owner
// as recipient, no text.
void addSystemRows(const std::vector<ChatPlan>& plans, SampleChatDatabase& database) {
    int64_t pk = static_cast<int64_t>(database.messages.size());
    for (const ChatPlan& plan : plans) {
        const double opened = kFirstMessage - 3600.0 + static_cast<double>(plan.chat.pk);
        SampleMessage notice;
        notice.pk = ++pk;
        notice.chat = plan.chat.pk;
        notice.date = opened;
        notice.type = 10;
        notice.fromJid = plan.chat.jid;
        notice.groupEventType = 2;
        database.messages.push_back(notice);
        if (plan.chat.groupInfo != 0) {
            SampleMessage created = notice;
            created.pk = ++pk;
            created.date = opened + 1.0;
            created.type = 6;
            created.groupEventType = 12;
            database.messages.push_back(created);
        }
    }
}

}  // namespace

WhatsAppSample makeWhatsAppSample(const WhatsAppSampleOptions& options) {
    WhatsAppSample sample;
    sample.people = makePeople(options);
    std::vector<ChatPlan> plans = makeChats(options, sample.people, sample.database);
    for (size_t i = 0; i < sample.people.size(); ++i) {
        const SamplePerson& person = sample.people[i];
        if (!person.pushName.empty()) {
            sample.database.pushNames.emplace_back(person.jid(), person.pushName);
        }
        if (i % 3 == 0) {
            std::string stored = "Media/Profile/" + person.number + "-1642252800";
            sample.database.pictures.emplace_back(person.jid(), stored);
            sample.mediaFiles.push_back(
                {stored + ".thumb", solidColourPng(48, 48, 30, 90, uint8_t(i * 20))});
        }
    }
    sample.database.messages.reserve(options.messages);
    for (size_t n = 0; n < options.messages && !plans.empty(); ++n) {
        const ChatPlan& plan = plans[n % plans.size()];
        SampleMessage message = makeMessage(n, plan, sample);
        if (options.mediaEvery != 0 && n % options.mediaEvery == options.mediaEvery - 1) {
            attachMedia(n, plan.chat.jid, options.smallMedia, message, sample.mediaFiles);
        }
        sample.database.messages.push_back(std::move(message));
    }
    if (options.systemRows) {
        addSystemRows(plans, sample.database);
    }
    return sample;
}

void addWhatsApp(SampleBackupBuilder& builder, const WhatsAppSample& sample, bool oldLayout,
                 size_t deleteEvery) {
    const std::string shared(kWhatsAppGroupDomain);
    const std::string app(kWhatsAppDomain);
    const std::string chatPath = builder.temporaryFile("ChatStorage.sqlite");
    if (writeChatStorage(chatPath, sample.database) && deleteMessages(chatPath, deleteEvery)) {
        builder.addFileFromDisk(oldLayout ? app : shared,
                                oldLayout ? "Documents/ChatStorage.sqlite" : "ChatStorage.sqlite",
                                chatPath);
    }
    if (!oldLayout) {
        const std::string contactsPath = builder.temporaryFile("Contacts.sqlite");
        if (writeContactsDatabase(contactsPath, sample.database)) {
            builder.addFileFromDisk(shared, "Contacts.sqlite", contactsPath);
        }
    }
    PlistValue::Dictionary prefs;
    prefs["OwnJabberID"] = PlistValue::string(sample.ownerNumber + "@s.whatsapp.net");
    prefs["FullUserName"] = PlistValue::string(sample.ownerName);
    prefs["CurrentStatusText"] = PlistValue::string(sample.ownerStatus);
    auto bytes = PlistValue::dictionary(std::move(prefs)).toBinary();
    const std::string plist(bytes.begin(), bytes.end());
    if (oldLayout) {
        builder.addFile(app, "Library/Preferences/net.whatsapp.WhatsApp.plist", plist);
    } else {
        builder.addFile(shared, "Library/Preferences/group.net.whatsapp.WhatsApp.shared.plist",
                        plist);
    }
    for (const SampleMediaFile& file : sample.mediaFiles) {
        const bool profile = file.relativePath.rfind("Media/Profile/", 0) == 0;
        if (oldLayout) {
            builder.addFile(app, "Library/" + file.relativePath, file.content);
        } else {
            // Profile pictures sit at the container's top; chat media under "Message/".
            builder.addFile(shared, profile ? file.relativePath : "Message/" + file.relativePath,
                            file.content);
        }
    }
}

}  // namespace vessamo::sample
