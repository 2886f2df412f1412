#pragma once

// A backup whose chat database lost messages as a phone loses them (no
// secure delete, no vacuum): single messages and runs from the chats left,
// a whole chat with its session (key 1), and in chat 2 a picture message
// whose media item went with it; scanned with deleted-message recovery.
#include <gtest/gtest.h>

#include <string>

#include "app/Scanner.h"
#include "common/SqliteDatabase.h"
#include "results/BackupFileIndex.h"
#include "sample/SampleBackupBuilder.h"
#include "sample/SampleDeletedMessages.h"

namespace vessamo::test {

inline constexpr int32_t kDeletedChatKey = 1;
inline constexpr int32_t kPictureChatKey = 2;

// nullptr, with a failed test, when the backup could not be made.
inline ScanResultPtr scanBackupWithDeletedChat(const std::string& folder) {
    const std::string database = folder + ".ChatStorage.sqlite";
    sample::DeletedRowsOptions options;
    options.messages = 600;
    options.deletedChat = kDeletedChatKey;
    std::string error;
    if (!sample::writeChatStorageWithDeletedRows(database, options, &error)) {
        ADD_FAILURE() << error;
        return nullptr;
    }
    // The newest text of chat 2 copied as a picture without text, then
    // deleted: its freed cell keeps the media item's key.
    SqliteDatabase db;
    const std::string sql =
        "PRAGMA secure_delete=OFF; CREATE TEMP TABLE p AS SELECT * FROM ZWAMESSAGE WHERE Z_PK = "
        "(SELECT MAX(Z_PK) FROM ZWAMESSAGE WHERE ZCHATSESSION = 2 AND ZTEXT IS NOT NULL);"
        "UPDATE p SET Z_PK = 100000, ZTEXT = NULL, ZMEDIAITEM = 7, ZMESSAGETYPE = 1, "
        "ZSTANZAID = '3EB0AAAAAAAAAAAAAAAA', ZMESSAGEDATE = ZMESSAGEDATE + 7;"
        "INSERT INTO ZWAMESSAGE SELECT * FROM p; DELETE FROM ZWAMESSAGE WHERE Z_PK = 100000;";
    if (db.open(database, SqliteDatabase::Mode::ReadWrite) != SQLITE_OK ||
        db.execute(sql) != SQLITE_OK) {
        ADD_FAILURE() << db.lastError();
        return nullptr;
    }
    sample::SampleBackupBuilder builder;
    builder.addFileFromDisk(std::string(kWhatsAppGroupDomain), "ChatStorage.sqlite", database);
    if (!builder.write(folder, &error)) {
        ADD_FAILURE() << error;
        return nullptr;
    }
    ScanReporter reporter;  // says nothing
    ScanOptions scan;
    scan.recoverDeleted = true;
    return Scanner::scan(folder, SourceKind::Backup, scan, {}, reporter);
}

}  // namespace vessamo::test
