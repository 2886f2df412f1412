#pragma once

// A backup whose chat database lost messages the way a phone loses them
// (no secure delete, no vacuum): single messages and runs of them from the
// chats that are left, a whole chat with its session, and a picture whose
// media item went with it. Scanned with deleted-message recovery, for the
// tests of what a person sees of recovered messages.
#include <gtest/gtest.h>

#include <string>

#include "app/Scanner.h"
#include "common/SqliteDatabase.h"
#include "results/BackupFileIndex.h"
#include "sample/SampleBackupBuilder.h"
#include "sample/SampleDeletedMessages.h"

namespace vessamo::test {

// The chat deleted with its session row, the one-to-one chat that keeps a
// recovered picture message, and that message's marker.
inline constexpr int32_t kDeletedChatKey = 1;
inline constexpr int32_t kPictureChatKey = 2;

// Copies the newest text message of the second chat as a picture message
// without text and deletes the copy: its cell keeps the media item's key.
inline ::testing::AssertionResult deletePictureMessage(const std::string& database) {
    SqliteDatabase db;
    if (db.open(database, SqliteDatabase::Mode::ReadWrite) != SQLITE_OK) {
        return ::testing::AssertionFailure() << "cannot open " << database;
    }
    const std::string chat = std::to_string(kPictureChatKey);
    const std::string sql =
        "PRAGMA secure_delete=OFF;"
        "CREATE TEMP TABLE picture AS SELECT * FROM ZWAMESSAGE WHERE Z_PK = (SELECT MAX(Z_PK) "
        "FROM ZWAMESSAGE WHERE ZCHATSESSION = " +
        chat +
        " AND ZTEXT IS NOT NULL);"
        "UPDATE picture SET Z_PK = 100000, ZTEXT = NULL, ZMEDIAITEM = 7, ZMESSAGETYPE = 1, "
        "ZSTANZAID = '3EB0AAAAAAAAAAAAAAAA', ZMESSAGEDATE = ZMESSAGEDATE + 7;"
        "INSERT INTO ZWAMESSAGE SELECT * FROM picture;"
        "DELETE FROM ZWAMESSAGE WHERE Z_PK = 100000;";
    if (db.execute(sql) != SQLITE_OK) {
        return ::testing::AssertionFailure() << db.lastError();
    }
    return ::testing::AssertionSuccess();
}

struct QuietReporter : ScanReporter {};

// Writes the backup into folder (its database beside it) and scans it;
// nullptr, with a failed test, when anything could not be made.
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
    if (const auto deleted = deletePictureMessage(database); !deleted) {
        ADD_FAILURE() << deleted.message();
        return nullptr;
    }
    sample::SampleBackupBuilder builder;
    builder.addFileFromDisk(std::string(kWhatsAppGroupDomain), "ChatStorage.sqlite", database);
    if (!builder.write(folder, &error)) {
        ADD_FAILURE() << error;
        return nullptr;
    }
    QuietReporter reporter;
    ScanOptions scan;
    scan.recoverDeleted = true;
    return Scanner::scan(folder, SourceKind::Backup, scan, {}, reporter);
}

}  // namespace vessamo::test
