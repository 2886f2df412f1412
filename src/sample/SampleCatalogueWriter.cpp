#include "sample/SampleCatalogueWriter.h"

#include <filesystem>
#include <fstream>

#include "backup/SHAH.h"
#include "common/PlistValue.h"
#include "common/SqliteDatabase.h"

namespace vessamo::sample {

namespace {

constexpr int64_t kRegularFileMode = 0100644;
constexpr int64_t kDirectoryMode = 040755;
constexpr int kFlagFile = 1;
constexpr int kFlagDirectory = 2;

bool fail(std::string* error, std::string reason) {
    if (error != nullptr) {
        *error = std::move(reason);
    }
    return false;
}

const char* kManifestSchema = R"(
PRAGMA synchronous=OFF;
CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, flags INTEGER,
                    file BLOB);
CREATE INDEX FilesDomainIdx ON Files(domain);
CREATE INDEX FilesRelativePathIdx ON Files(relativePath);
CREATE INDEX FilesFlagsIdx ON Files(flags);
CREATE TABLE Properties (key TEXT PRIMARY KEY, value BLOB);
)";

bool insertRow(SqliteStatement& insert, const std::string& fileID, const std::string& domain,
               const std::string& relativePath, int flags, const std::string& blob) {
    bool bound = insert.reset() == SQLITE_OK && insert.bind(1, fileID) == SQLITE_OK &&
                 insert.bind(2, domain) == SQLITE_OK && insert.bind(3, relativePath) == SQLITE_OK &&
                 insert.bind(4, int64_t{flags}) == SQLITE_OK &&
                 insert.bindBlob(5, blob.data(), blob.size()) == SQLITE_OK;
    return bound && insert.step() == SQLITE_DONE;
}

// Big-endian writers for the mbdb record fields.
void putBigEndian(std::string& out, uint64_t value, int bytes) {
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

void putString(std::string& out, const std::string& text) {
    putBigEndian(out, text.size(), 2);
    out += text;
}

void putAbsent(std::string& out) {
    putBigEndian(out, 0xFFFF, 2);
}

std::string mbdbRecord(const SampleFile& file, uint64_t inode, const std::string& storedKey) {
    std::string out;
    putString(out, file.domain);
    putString(out, file.relativePath);
    putAbsent(out);  // link target
    if (file.directory) {
        putAbsent(out);
    } else {
        SHAH hash;
        hash.update(SampleBackupBuilder::dataOf(file));
        SHAH::Digest digest{};
        (void)hash.final(digest);
        putString(out, std::string(digest.begin(), digest.end()));
    }
    if (storedKey.empty()) {
        putAbsent(out);  // encryption key
    } else {
        putString(out, storedKey);
    }
    putBigEndian(out, static_cast<uint64_t>(file.directory ? kDirectoryMode : kRegularFileMode), 2);
    putBigEndian(out, inode, 8);
    putBigEndian(out, 501, 4);
    putBigEndian(out, 501, 4);
    for (int i = 0; i < 3; ++i) {
        putBigEndian(out, static_cast<uint64_t>(file.modified), 4);
    }
    putBigEndian(out, file.directory ? 0 : SampleBackupBuilder::sizeOf(file), 8);
    out += static_cast<char>(file.directory ? 0 : 3);  // protection class
    out += static_cast<char>(0);                       // no extended properties
    return out;
}

}  // namespace

std::string mbFileArchive(const SampleFile& file, const std::string& storedKey) {
    const auto when = static_cast<int64_t>(file.modified);
    PlistValue::Dictionary mbFile;
    mbFile["$class"] = PlistValue::uid(3);
    mbFile["RelativePath"] = PlistValue::uid(2);
    mbFile["Size"] = PlistValue::integer(
        file.directory ? 0 : static_cast<int64_t>(SampleBackupBuilder::sizeOf(file)));
    mbFile["Mode"] = PlistValue::integer(file.directory ? kDirectoryMode : kRegularFileMode);
    mbFile["LastModified"] = PlistValue::integer(when);
    mbFile["LastStatusChange"] = PlistValue::integer(when);
    mbFile["Birth"] = PlistValue::integer(when);
    mbFile["ProtectionClass"] = PlistValue::integer(file.directory ? 0 : 3);
    mbFile["InodeNumber"] = PlistValue::integer(4242);
    mbFile["UserID"] = PlistValue::integer(501);
    mbFile["GroupID"] = PlistValue::integer(501);
    mbFile["Flags"] = PlistValue::integer(0);

    PlistValue::Dictionary className;
    className["$classname"] = PlistValue::string("MBFile");
    className["$classes"] =
        PlistValue::array({PlistValue::string("MBFile"), PlistValue::string("NSObject")});

    PlistValue::Dictionary top;
    top["root"] = PlistValue::uid(1);
    PlistValue::Dictionary archive;
    archive["$version"] = PlistValue::integer(100000);
    archive["$archiver"] = PlistValue::string("NSKeyedArchiver");
    archive["$top"] = PlistValue::dictionary(std::move(top));
    PlistValue::Array objects = {PlistValue::string("$null"), PlistValue(),
                                 PlistValue::string(file.relativePath),
                                 PlistValue::dictionary(std::move(className))};
    if (!storedKey.empty()) {
        // NSMutableData: the key's bytes under "NS.data".
        PlistValue::Dictionary dataClass;
        dataClass["$classname"] = PlistValue::string("NSMutableData");
        dataClass["$classes"] =
            PlistValue::array({PlistValue::string("NSMutableData"), PlistValue::string("NSData"),
                               PlistValue::string("NSObject")});
        PlistValue::Dictionary key;
        key["NS.data"] = PlistValue::data(PlistValue::Bytes(storedKey.begin(), storedKey.end()));
        key["$class"] = PlistValue::uid(5);
        mbFile["EncryptionKey"] = PlistValue::uid(objects.size());
        objects.push_back(PlistValue::dictionary(std::move(key)));
        objects.push_back(PlistValue::dictionary(std::move(dataClass)));
    }
    objects[1] = PlistValue::dictionary(std::move(mbFile));
    archive["$objects"] = PlistValue::array(std::move(objects));
    PlistValue::Bytes bytes = PlistValue::dictionary(std::move(archive)).toBinary();
    return std::string(bytes.begin(), bytes.end());
}

bool writeManifestDb(const std::string& path, const std::vector<SampleFile>& files,
                     const std::vector<SampleBackupBuilder::RawRow>& rawRows, std::string* error,
                     const std::vector<std::string>& storedKeys) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    SqliteDatabase db;
    if (db.open(path, SqliteDatabase::Mode::Create) != SQLITE_OK ||
        db.execute(kManifestSchema) != SQLITE_OK || db.execute("BEGIN") != SQLITE_OK) {
        return fail(error, "cannot create " + path + ": " + db.lastError());
    }
    SqliteStatement insert;
    if (insert.prepare(db, "INSERT OR REPLACE INTO Files VALUES (?,?,?,?,?)") != SQLITE_OK) {
        return fail(error, db.lastError());
    }
    for (size_t i = 0; i < files.size(); ++i) {
        const SampleFile& file = files[i];
        std::string key = SampleBackupBuilder::fileKey(file.domain, file.relativePath);
        const std::string noKey;
        const std::string& storedKey = i < storedKeys.size() ? storedKeys[i] : noKey;
        if (!insertRow(insert, key, file.domain, file.relativePath,
                       file.directory ? kFlagDirectory : kFlagFile,
                       mbFileArchive(file, storedKey))) {
            return fail(error, "cannot insert " + file.relativePath + ": " + db.lastError());
        }
    }
    for (const auto& row : rawRows) {
        if (!insertRow(insert, row.fileID, row.domain, row.relativePath, kFlagFile, {})) {
            return fail(error, "cannot insert raw row: " + db.lastError());
        }
    }
    insert.finalize();
    if (db.execute("COMMIT") != SQLITE_OK) {
        return fail(error, db.lastError());
    }
    return true;
}

bool writeManifestMbdb(const std::string& path, const std::vector<SampleFile>& files,
                       std::string* error, const std::vector<std::string>& storedKeys) {
    std::string bytes("mbdb\x05\x00", 6);
    uint64_t inode = 1000;
    for (size_t i = 0; i < files.size(); ++i) {
        bytes += mbdbRecord(files[i], inode++, i < storedKeys.size() ? storedKeys[i] : "");
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        return fail(error, "cannot write " + path);
    }
    return true;
}

}  // namespace vessamo::sample
