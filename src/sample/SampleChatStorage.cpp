#include "sample/SampleChatStorage.h"

#include <filesystem>

#include "common/SqliteDatabase.h"

namespace vessamo::sample {

namespace {

const char* kChatSchema = R"(
PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA page_size=4096;
CREATE TABLE ZWACHATSESSION ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZARCHIVED INTEGER, ZCONTACTABID INTEGER, ZFLAGS INTEGER, ZHIDDEN INTEGER, ZIDENTITYVERIFICATIONEPOCH INTEGER, ZIDENTITYVERIFICATIONSTATE INTEGER, ZMESSAGECOUNTER INTEGER, ZREMOVED INTEGER, ZSESSIONTYPE INTEGER, ZSPOTLIGHTSTATUS INTEGER, ZUNREADCOUNT INTEGER, ZGROUPINFO INTEGER, ZLASTMESSAGE INTEGER, ZPROPERTIES INTEGER, ZLASTMESSAGEDATE TIMESTAMP, ZLOCATIONSHARINGENDDATE TIMESTAMP, ZCONTACTIDENTIFIER VARCHAR, ZCONTACTJID VARCHAR, ZETAG VARCHAR, ZLASTMESSAGETEXT VARCHAR, ZPARTNERNAME VARCHAR, ZSAVEDINPUT VARCHAR );
CREATE TABLE ZWAMESSAGE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZCHILDMESSAGESDELIVEREDCOUNT INTEGER, ZCHILDMESSAGESPLAYEDCOUNT INTEGER, ZCHILDMESSAGESREADCOUNT INTEGER, ZDATAITEMVERSION INTEGER, ZDOCID INTEGER, ZENCRETRYCOUNT INTEGER, ZFILTEREDRECIPIENTCOUNT INTEGER, ZFLAGS INTEGER, ZGROUPEVENTTYPE INTEGER, ZISFROMME INTEGER, ZMESSAGEERRORSTATUS INTEGER, ZMESSAGESTATUS INTEGER, ZMESSAGETYPE INTEGER, ZSORT INTEGER, ZSPOTLIGHTSTATUS INTEGER, ZSTARRED INTEGER, ZCHATSESSION INTEGER, ZGROUPMEMBER INTEGER, ZLASTSESSION INTEGER, ZMEDIAITEM INTEGER, ZMESSAGEINFO INTEGER, ZPARENTMESSAGE INTEGER, ZMESSAGEDATE TIMESTAMP, ZSENTDATE TIMESTAMP, ZFROMJID VARCHAR, ZMEDIASECTIONID VARCHAR, ZPHASH VARCHAR, ZPUSHNAME VARCHAR, ZSTANZAID VARCHAR, ZTEXT VARCHAR, ZTOJID VARCHAR );
CREATE TABLE ZWAMEDIAITEM ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZCLOUDSTATUS INTEGER, ZFILESIZE INTEGER, ZMEDIAORIGIN INTEGER, ZMOVIEDURATION INTEGER, ZMESSAGE INTEGER, ZASPECTRATIO FLOAT, ZHACCURACY FLOAT, ZLATITUDE FLOAT, ZLONGITUDE FLOAT, ZMEDIAURLDATE TIMESTAMP, ZAUTHORNAME VARCHAR, ZCOLLECTIONNAME VARCHAR, ZMEDIALOCALPATH VARCHAR, ZMEDIAURL VARCHAR, ZTHUMBNAILLOCALPATH VARCHAR, ZTITLE VARCHAR, ZVCARDNAME VARCHAR, ZVCARDSTRING VARCHAR, ZXMPPTHUMBPATH VARCHAR, ZMEDIAKEY BLOB, ZMETADATA BLOB );
CREATE TABLE ZWAGROUPINFO ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZSTATE INTEGER, ZCHATSESSION INTEGER, ZLASTMESSAGEOWNER INTEGER, ZCREATIONDATE TIMESTAMP, ZSUBJECTTIMESTAMP TIMESTAMP, ZCREATORJID VARCHAR, ZOWNERJID VARCHAR, ZPICTUREID VARCHAR, ZPICTUREPATH VARCHAR, ZSOURCEJID VARCHAR, ZSUBJECTOWNERJID VARCHAR );
)";

const char* kPeopleSchema = R"(
CREATE TABLE ZWAGROUPMEMBER ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZCONTACTABID INTEGER, ZISACTIVE INTEGER, ZISADMIN INTEGER, ZSENDERKEYSENT INTEGER, ZCHATSESSION INTEGER, ZRECENTGROUPCHAT INTEGER, ZCONTACTIDENTIFIER VARCHAR, ZCONTACTNAME VARCHAR, ZFIRSTNAME VARCHAR, ZMEMBERJID VARCHAR );
CREATE TABLE ZWAPROFILEPUSHNAME ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZJID VARCHAR, ZPUSHNAME VARCHAR );
CREATE TABLE ZWAPROFILEPICTUREITEM ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZREQUESTDATE TIMESTAMP, ZJID VARCHAR, ZPATH VARCHAR, ZPICTUREID VARCHAR );
)";

const char* kStatusSchema =
    "CREATE TABLE ZWASTATUS ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
    "ZSTATUSDATE TIMESTAMP, ZPICTUREPATH VARCHAR, ZTEXT VARCHAR, ZWHATSAPPID VARCHAR );";

const char* kIndexes = R"(
CREATE INDEX ZWAMESSAGE_ZCHATSESSION_INDEX ON ZWAMESSAGE (ZCHATSESSION);
CREATE INDEX ZWAMEDIAITEM_ZMESSAGE_INDEX ON ZWAMEDIAITEM (ZMESSAGE);
CREATE INDEX Z_WAChatSession_byContactJIDIndex ON ZWACHATSESSION (ZCONTACTJID COLLATE BINARY ASC);
)";

bool fail(std::string* error, const std::string& reason) {
    if (error != nullptr) {
        *error = reason;
    }
    return false;
}

void bindText(SqliteStatement& insert, int index, const std::optional<std::string>& text) {
    if (text) {
        (void)insert.bind(index, std::string_view(*text));
    } else {
        (void)insert.bindNull(index);
    }
}

void bindReal(SqliteStatement& insert, int index, const std::optional<double>& value) {
    if (value) {
        (void)insert.bind(index, *value);
    } else {
        (void)insert.bindNull(index);
    }
}

bool runInsert(SqliteStatement& insert) {
    bool done = insert.step() == SQLITE_DONE;
    (void)insert.reset();
    return done;
}

void appendVarint(std::string& out, uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>((value & 0x7f) | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

void appendBytesField(std::string& out, uint64_t field, const std::string& bytes) {
    appendVarint(out, (field << 3) | 2);
    appendVarint(out, bytes.size());
    out.append(bytes);
}

bool insertChats(const SqliteDatabase& db, const SampleChatDatabase& content) {
    SqliteStatement insert;
    if (insert.prepare(db,
                       "INSERT INTO ZWACHATSESSION (Z_PK, Z_ENT, Z_OPT, ZGROUPINFO, "
                       "ZSESSIONTYPE, ZCONTACTJID, ZPARTNERNAME) VALUES (?,6,1,?,?,?,?)") !=
        SQLITE_OK) {
        return false;
    }
    for (const SampleChat& chat : content.chats) {
        (void)insert.bind(1, chat.pk);
        if (chat.groupInfo != 0) {
            (void)insert.bind(2, chat.groupInfo);
        } else {
            (void)insert.bindNull(2);
        }
        (void)insert.bind(3, int64_t{chat.groupInfo != 0 ? 1 : 0});
        bindText(insert, 4, chat.jid);
        bindText(insert, 5, chat.partnerName);
        if (!runInsert(insert)) {
            return false;
        }
    }
    return true;
}

bool insertMedia(SqliteStatement& insert, int64_t pk, const SampleMessage& message) {
    const SampleMediaItem& media = *message.media;
    (void)insert.bind(1, pk);
    (void)insert.bind(2, message.pk);
    bindText(insert, 3, media.localPath);
    bindText(insert, 4, media.thumbnailPath);
    bindText(insert, 5, media.xmppThumbPath);
    bindText(insert, 6, media.vcardName);
    bindText(insert, 7, media.vcardString);
    bindReal(insert, 8, media.latitude);
    bindReal(insert, 9, media.longitude);
    if (media.metadata) {
        (void)insert.bindBlob(10, media.metadata->data(), media.metadata->size());
    } else {
        (void)insert.bindNull(10);
    }
    return runInsert(insert);
}

bool insertMessage(SqliteStatement& insert, const SampleMessage& message, int64_t mediaPk) {
    (void)insert.bind(1, message.pk);
    (void)insert.bind(2, int64_t{message.fromMe ? 1 : 0});
    (void)insert.bind(3, int64_t{message.type});
    (void)insert.bind(4, int64_t{message.starred ? 1 : 0});
    (void)insert.bind(5, message.chat);
    if (message.groupMember != 0) {
        (void)insert.bind(6, message.groupMember);
    } else {
        (void)insert.bindNull(6);
    }
    if (mediaPk != 0) {
        (void)insert.bind(7, mediaPk);
    } else {
        (void)insert.bindNull(7);
    }
    if (message.wholeSecondDate) {
        (void)insert.bind(8, static_cast<int64_t>(message.date));
    } else {
        (void)insert.bind(8, message.date);
    }
    bindText(insert, 9, message.fromJid);
    bindText(insert, 10, message.pushName);
    bindText(insert, 11, message.text);
    bindText(insert, 12, message.toJid);
    if (message.groupEventType) {
        (void)insert.bind(13, int64_t{*message.groupEventType});
    } else {
        (void)insert.bindNull(13);
    }
    bindText(insert, 14, message.stanzaId);
    return runInsert(insert);
}

bool insertMessages(const SqliteDatabase& db, const SampleChatDatabase& content) {
    SqliteStatement message;
    SqliteStatement media;
    if (message.prepare(db,
                        "INSERT INTO ZWAMESSAGE (Z_PK, Z_ENT, Z_OPT, ZISFROMME, ZMESSAGETYPE, "
                        "ZSTARRED, ZCHATSESSION, ZGROUPMEMBER, ZMEDIAITEM, ZMESSAGEDATE, ZFROMJID, "
                        "ZPUSHNAME, ZTEXT, ZTOJID, ZMESSAGESTATUS, ZSORT, "
                        "ZCHILDMESSAGESDELIVEREDCOUNT, ZCHILDMESSAGESPLAYEDCOUNT, "
                        "ZCHILDMESSAGESREADCOUNT, ZGROUPEVENTTYPE, ZSTANZAID) "
                        "VALUES (?1,9,3,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,8,?1,0,0,0,?13,?14)") !=
            SQLITE_OK ||
        media.prepare(db,
                      "INSERT INTO ZWAMEDIAITEM (Z_PK, Z_ENT, Z_OPT, ZMESSAGE, ZMEDIALOCALPATH, "
                      "ZTHUMBNAILLOCALPATH, ZXMPPTHUMBPATH, ZVCARDNAME, ZVCARDSTRING, ZLATITUDE, "
                      "ZLONGITUDE, ZMETADATA) VALUES (?,7,1,?,?,?,?,?,?,?,?,?)") != SQLITE_OK) {
        return false;
    }
    int64_t mediaPk = 0;
    for (const SampleMessage& item : content.messages) {
        int64_t thisMedia = item.media ? ++mediaPk : 0;
        if ((item.media && !insertMedia(media, thisMedia, item)) ||
            !insertMessage(message, item, thisMedia)) {
            return false;
        }
    }
    return true;
}

bool insertPeople(const SqliteDatabase& db, const SampleChatDatabase& content) {
    SqliteStatement member;
    SqliteStatement push;
    SqliteStatement picture;
    if (member.prepare(db,
                       "INSERT INTO ZWAGROUPMEMBER (Z_PK, Z_ENT, Z_OPT, ZISACTIVE, "
                       "ZCHATSESSION, ZCONTACTNAME, ZMEMBERJID) VALUES (?,8,1,1,?,?,?)") !=
            SQLITE_OK ||
        push.prepare(db,
                     "INSERT INTO ZWAPROFILEPUSHNAME (Z_ENT, Z_OPT, ZJID, ZPUSHNAME) "
                     "VALUES (11,1,?,?)") != SQLITE_OK ||
        picture.prepare(db,
                        "INSERT INTO ZWAPROFILEPICTUREITEM (Z_ENT, Z_OPT, ZJID, ZPATH) "
                        "VALUES (12,1,?,?)") != SQLITE_OK) {
        return false;
    }
    for (const SampleMember& item : content.members) {
        (void)member.bind(1, item.pk);
        (void)member.bind(2, item.chat);
        bindText(member, 3, item.name);
        bindText(member, 4, item.jid);
        if (!runInsert(member)) {
            return false;
        }
    }
    for (const auto& [jid, name] : content.pushNames) {
        bindText(push, 1, jid);
        bindText(push, 2, name);
        if (!runInsert(push)) {
            return false;
        }
    }
    for (const auto& [jid, path] : content.pictures) {
        bindText(picture, 1, jid);
        bindText(picture, 2, path);
        if (!runInsert(picture)) {
            return false;
        }
    }
    return true;
}

bool insertStatuses(const SqliteDatabase& db, const SampleChatDatabase& content) {
    SqliteStatement status;
    if (status.prepare(db,
                       "INSERT INTO ZWASTATUS (Z_ENT, Z_OPT, ZPICTUREPATH, ZTEXT, ZWHATSAPPID) "
                       "VALUES (14,1,?,?,?)") != SQLITE_OK) {
        return false;
    }
    for (const SampleStatus& item : content.statuses) {
        bindText(status, 1, item.picturePath);
        bindText(status, 2, item.text);
        bindText(status, 3, item.whatsAppId);
        if (!runInsert(status)) {
            return false;
        }
    }
    return true;
}

bool create(SqliteDatabase& db, const std::string& path, std::string* error) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (db.open(path, SqliteDatabase::Mode::Create) != SQLITE_OK) {
        return fail(error, "cannot create " + path);
    }
    return true;
}

}  // namespace

bool deleteMessages(const std::string& path, size_t every, std::string* error) {
    if (every == 0) {
        return true;
    }
    SqliteDatabase db;
    if (db.open(path, SqliteDatabase::Mode::ReadWrite) != SQLITE_OK) {
        return fail(error, "cannot open " + path);
    }
    // As a phone deletes: the freed cells keep their bytes until reused.
    const std::string sql = "PRAGMA secure_delete=OFF; DELETE FROM ZWAMESSAGE WHERE Z_PK % " +
                            std::to_string(every) + " = 0;";
    return db.execute(sql) == SQLITE_OK || fail(error, db.lastError());
}

bool writeChatStorage(const std::string& path, const SampleChatDatabase& content,
                      std::string* error) {
    SqliteDatabase db;
    if (!create(db, path, error)) {
        return false;
    }
    bool written = db.execute(kChatSchema) == SQLITE_OK && db.execute(kPeopleSchema) == SQLITE_OK &&
                   db.execute("BEGIN") == SQLITE_OK && insertChats(db, content) &&
                   insertMessages(db, content) && insertPeople(db, content) &&
                   db.execute("COMMIT") == SQLITE_OK && db.execute(kIndexes) == SQLITE_OK;
    return written || fail(error, "cannot fill " + path + ": " + db.lastError());
}

bool writeContactsDatabase(const std::string& path, const SampleChatDatabase& content,
                           std::string* error) {
    SqliteDatabase db;
    if (!create(db, path, error)) {
        return false;
    }
    bool written = db.execute("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;") == SQLITE_OK &&
                   db.execute(kPeopleSchema) == SQLITE_OK &&
                   db.execute(kStatusSchema) == SQLITE_OK && db.execute("BEGIN") == SQLITE_OK &&
                   insertPeople(db, content) && insertStatuses(db, content) &&
                   db.execute("COMMIT") == SQLITE_OK;
    return written || fail(error, "cannot fill " + path + ": " + db.lastError());
}

std::string replyMetadata(const std::string& quotedStanzaId, const std::string& quotedAuthorJid,
                          const std::string& quotedText) {
    std::string quote;
    appendBytesField(quote, 1, quotedText);
    std::string metadata;
    appendBytesField(metadata, 5, quotedStanzaId);
    appendBytesField(metadata, 6, quotedAuthorJid);
    appendBytesField(metadata, 19, quote);
    return metadata;
}

}  // namespace vessamo::sample
