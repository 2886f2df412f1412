#include "backup/EncryptedBackupMirror.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "backup/EncryptedBackup.h"
#include "backup/MbdbRecordParser.h"
#include "backup/SHAH.h"
#include "common/Files.h"
#include "common/PlistValue.h"
#include "common/SqliteDatabase.h"
#include "results/BackupFileIndex.h"

namespace vessamo {

namespace {

constexpr uint64_t kCatalogueLimit = uint64_t{1} << 31;
constexpr size_t kPieceBytes = 1u << 20;

// One catalogued file to decrypt.
struct EncryptedFile {
    std::string key;        // its file key (name inside the backup)
    std::string label;      // domain and path, for messages
    std::string storedKey;  // protection class and wrapped key
    std::optional<uint64_t> size;
};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    [[nodiscard]] int get() const { return fd_; }

private:
    int fd_;
};

// Streams one file through the decryption, cut to its recorded size.
class FileDecryption {
public:
    FileDecryption(const SecretBytes& key, std::optional<uint64_t> size)
        : decryptor_(key.view()), left_(size) {}

    Status run(const std::string& source, AtomicFileWriter& target) {
        FileDescriptor fd(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY));
        struct stat info {};
        if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0) {
            return Status::fromErrno("cannot open");
        }
        if (!S_ISREG(info.st_mode)) {
            return Status::invalid("it is not a regular file");
        }
        std::string piece(kPieceBytes, '\0');
        for (;;) {
            const ssize_t got = ::read(fd.get(), piece.data(), piece.size());
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                return Status::fromErrno("cannot read");
            }
            if (got == 0) {
                break;
            }
            if (Status status = decryptor_.update({piece.data(), static_cast<size_t>(got)}, plain_);
                !status.ok()) {
                return status;
            }
            pass(target);
        }
        Status status = decryptor_.finish(plain_);
        pass(target);
        return status;
    }

private:
    void pass(AtomicFileWriter& target) {
        size_t keep = plain_.size();
        if (left_) {
            keep = static_cast<size_t>(std::min<uint64_t>(*left_, keep));
            *left_ -= keep;
        }
        target.append(std::string_view(plain_).substr(0, keep));
        plain_.clear();
    }

    AesCbcDecryptor decryptor_;
    std::optional<uint64_t> left_;
    std::string plain_;
};

Status decryptFile(const EncryptedFile& file, const std::string& source, const std::string& target,
                   const BackupKeys& keys) {
    const std::string name = file.label + " (" + source + ")";
    if (file.storedKey.empty()) {
        return Status::corrupt(name + " cannot be decrypted: the catalogue gives no key for it");
    }
    StatusOr<SecretBytes> key = keys.unwrapFileKey(bytesOf(file.storedKey));
    if (!key.ok()) {
        return Status::corrupt(name + " cannot be decrypted: " + key.status().message());
    }
    Status made = makeFolders(target.substr(0, target.rfind('/')));
    if (!made.ok()) {
        return made;
    }
    AtomicFileWriter writer(target, WriteMode::replace, Flush::none);
    FileDecryption decryption(*key, file.size);
    Status status = decryption.run(source, writer);
    if (!status.ok()) {
        const bool damaged = status.is(StatusCode::corrupt);
        return damaged ? Status::corrupt(name + " is damaged: " + status.message())
                       : Status::ioError(name + ": " + status.message());
    }
    return writer.commit();
}

// The keyed archive of a Manifest.db row: its MBFile object's key, size.
void readArchive(const std::string& blob, EncryptedFile& file) {
    const std::optional<PlistValue> archive = PlistValue::fromBytes(bytesOf(blob));
    const PlistValue* objects = archive ? archive->find("$objects") : nullptr;
    const PlistValue::Array* list = objects != nullptr ? objects->asArray() : nullptr;
    const PlistValue* top = archive ? archive->find("$top") : nullptr;
    const PlistValue* root = top != nullptr ? top->find("root") : nullptr;
    auto resolve = [list](const PlistValue* value) -> const PlistValue* {
        const std::optional<uint64_t> uid = value != nullptr ? value->asUid() : std::nullopt;
        if (!uid) {
            return value;
        }
        return list != nullptr && *uid < list->size() ? &(*list)[*uid] : nullptr;
    };
    const PlistValue* mbFile = resolve(root);
    if (mbFile == nullptr) {
        return;
    }
    if (const PlistValue* size = mbFile->find("Size"); size != nullptr && size->asInteger()) {
        file.size = static_cast<uint64_t>(std::max<int64_t>(0, *size->asInteger()));
    }
    const PlistValue* key = resolve(mbFile->find("EncryptionKey"));
    if (key != nullptr && key->asDictionary() != nullptr) {
        key = key->find("NS.data");
    }
    if (const PlistValue::Bytes* data = key != nullptr ? key->asData() : nullptr) {
        file.storedKey.assign(data->begin(), data->end());
    }
}

// Decrypts Manifest.db into the copy and lists the files it names.
StatusOr<std::vector<EncryptedFile>> manifestDbFiles(const std::string& backupFolder,
                                                     const BackupKeys& keys,
                                                     const std::string& copyFolder) {
    const std::string path = backupFolder + "/Manifest.db";
    StatusOr<EncryptedBackup> backup = EncryptedBackup::open(backupFolder);
    if (!backup.ok()) {
        return backup.status();
    }
    if (!backup->manifestKey()) {
        return Status::corrupt(backupFolder + "/Manifest.plist is damaged: it holds no key for " +
                               path);
    }
    StatusOr<SecretBytes> key = keys.unwrapFileKey(bytesOf(*backup->manifestKey()));
    StatusOr<std::string> sealed = readWholeFile(path, kCatalogueLimit);
    if (!sealed.ok()) {
        return sealed.status();
    }
    StatusOr<std::string> plain =
        key.ok() ? aesCbcDecrypt(key->view(), *sealed) : StatusOr<std::string>(key.status());
    if (!plain.ok()) {
        return Status::corrupt(path + " cannot be decrypted: " + plain.status().message());
    }
    const std::string target = copyFolder + "/Manifest.db";
    if (Status written = writeFileAtomically(target, *plain, WriteMode::replace, Flush::none);
        !written.ok()) {
        return written;
    }
    SqliteDatabase db;
    SqliteStatement rows;
    if (db.open(target, SqliteDatabase::Mode::ReadOnly) != SQLITE_OK ||
        rows.prepare(db, "select fileID,domain,relativePath,file from Files where flags=1") !=
            SQLITE_OK) {
        return Status::corrupt(path + " is damaged: " + db.lastError());
    }
    std::vector<EncryptedFile> files;
    while (rows.step() == SQLITE_ROW) {
        const std::string domain = rows.columnText(1).value_or("");
        const std::string relativePath = rows.columnText(2).value_or("");
        const std::string fileID = rows.columnText(0).value_or("");
        if (fileID.size() < 3 || fileID.find('/') != std::string::npos ||
            !neededForScan(domain, relativePath)) {
            continue;
        }
        EncryptedFile file{fileID, domain + "-" + relativePath, {}, std::nullopt};
        readArchive(rows.columnBlob(3), file);
        files.push_back(std::move(file));
    }
    return files;
}

// Copies Manifest.mbdb, which is not encrypted, and lists the files it names.
StatusOr<std::vector<EncryptedFile>> mbdbFiles(const std::string& backupFolder,
                                               const std::string& copyFolder) {
    const std::string path = backupFolder + "/Manifest.mbdb";
    StatusOr<std::string> bytes = readWholeFile(path, kCatalogueLimit);
    if (!bytes.ok()) {
        return bytes.status();
    }
    MbdbRecordParser parser(bytesOf(*bytes));
    if (!parser.readHeader()) {
        return Status::corrupt(path + " is damaged: it is no version 5.0 catalogue");
    }
    std::vector<EncryptedFile> files;
    while (!parser.atEnd()) {
        auto record = parser.next();
        if (!record) {
            break;  // the index reader reports the cut
        }
        if (!neededForScan(record->domain, record->path) || record->encryptionKey.empty()) {
            continue;
        }
        files.push_back(EncryptedFile{SHAH::hexOf(record->domain + "-" + record->path),
                                      record->domain + "-" + record->path, record->encryptionKey,
                                      record->size});
    }
    if (Status written = writeFileAtomically(copyFolder + "/Manifest.mbdb", *bytes,
                                             WriteMode::replace, Flush::none);
        !written.ok()) {
        return written;
    }
    return files;
}

bool isRegularFile(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

bool neededForScan(std::string_view domain, std::string_view relativePath) {
    if (domain == kWhatsAppDomain || domain == kWhatsAppGroupDomain || domain == kBusinessDomain ||
        domain == kBusinessGroupDomain) {
        return true;
    }
    return domain == "HomeDomain" &&
           (relativePath.starts_with("Library/AddressBook/AddressBook") ||
            relativePath == "Library/Preferences/.GlobalPreferences.plist");
}

StatusOr<DecryptedBackupCopy> decryptForScan(const std::string& backupFolder,
                                             const BackupKeys& keys, bool manifestDb,
                                             std::stop_token stop,
                                             const std::function<void(int)>& progress) {
    auto scratch = ScratchFolder::create("vessamo-decrypted");
    if (!scratch) {
        return Status::ioError("cannot create a private folder for the decrypted files");
    }
    DecryptedBackupCopy copy{std::make_shared<ScratchFolder>(std::move(*scratch)), {}};
    const std::string& into = copy.folder->path();
    auto files =
        manifestDb ? manifestDbFiles(backupFolder, keys, into) : mbdbFiles(backupFolder, into);
    if (!files.ok()) {
        return files.status();
    }
    for (size_t i = 0; i < files->size(); ++i) {
        if (stop.stop_requested()) {
            return Status::cancelled("the scan was stopped while its backup was decrypted");
        }
        const EncryptedFile& file = (*files)[i];
        const std::string relative = manifestDb ? file.key.substr(0, 2) + "/" + file.key : file.key;
        const std::string source = backupFolder + "/" + relative;
        if (!isRegularFile(source)) {
            continue;  // catalogued only, as the plain reading finds it
        }
        if (Status status = decryptFile(file, source, into + "/" + relative, keys); !status.ok()) {
            copy.problems.push_back(status);
        }
        if (progress) {
            progress(static_cast<int>(20 * (i + 1) / files->size()));
        }
    }
    return copy;
}

std::optional<std::string> decryptBackupForScan(ScanState& state, const std::string& backupFolder,
                                                const BackupKeys& keys) {
    const std::string_view stage = "decryptBackup";
    state.reporter.stageStarted(stage);
    // No progress of its own: the catalogue reader that follows counts from 0.
    auto copy = decryptForScan(backupFolder, keys, state.biOS10version, state.stop);
    if (!copy.ok()) {
        if (!copy.status().is(StatusCode::cancelled)) {
            state.note(stage, copy.status());
        }
        return std::nullopt;
    }
    for (const Status& problem : copy->problems) {
        state.note(stage, problem);
    }
    state.unpackFolder = copy->folder;
    return copy->folder->path();
}

}  // namespace vessamo
