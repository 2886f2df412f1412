#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/ConfinedFiles.h"
#include "common/Status.h"
#include "common/UniqueFd.h"

namespace vessamo {

// The one way the program reads and writes whole files. Reads take regular
// files only; writes never go through a link and never leave a half-written
// file where a complete one is expected.

inline constexpr uint64_t kDefaultReadLimit = 512ull * 1024 * 1024;

// The bytes of a regular file. Folders, devices, FIFOs and files larger than
// limit are refused (invalid), a missing file is notFound.
[[nodiscard]] StatusOr<std::string> readWholeFile(const std::string& path,
                                                  uint64_t limit = kDefaultReadLimit);
// The same for a file of a source, opened inside its folder (see openSourceFile).
[[nodiscard]] StatusOr<std::string> readWholeFile(const PathWithin& file,
                                                  uint64_t limit = kDefaultReadLimit);

enum class WriteMode {
    replace,       // an existing file is replaced whole
    keepExisting,  // an existing file is left alone: alreadyExists
};

// Whether a written file is forced to disk before it takes the target's
// place. Settings and lists the program reads back are; export files, tens
// of thousands at a time, are not: a flush per file made exports three
// times slower on a real disk, and an export interrupted by a power cut is
// simply made again. Both are renamed into place whole either way.
enum class Flush { toDisk, none };

// Writes a file the way readers never see it partial: the bytes go to a
// fresh temporary file beside the target, are flushed to disk (unless told
// otherwise), and the file is then renamed over the target (or linked to
// it, for keepExisting). A link at the target is replaced, never followed,
// and a file there is never truncated, so a hard link to someone else's
// file is left as it was. With a root, the target's folder is entered from
// the root without following any link below it (see openFolderWithin).
class AtomicFileWriter {
public:
    AtomicFileWriter(std::string path, WriteMode mode = WriteMode::replace,
                     Flush flush = Flush::toDisk, const std::string& root = {});
    ~AtomicFileWriter();  // abandons an uncommitted file
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // The first failure sticks: later appends do nothing and commit reports it.
    void append(std::string_view bytes);
    // Appends size bytes read from the open file source, a buffer's worth
    // at a time (or kernel to kernel where it can), never all at once.
    void appendFrom(int source, uint64_t size, std::span<char> buffer);
    [[nodiscard]] Status commit();
    [[nodiscard]] const Status& status() const { return status_; }

private:
    void abandon();

    std::string path_;
    std::string name_;  // the target's name in folder_
    WriteMode mode_;
    Flush flush_;
    std::string temporary_;
    UniqueFd folder_;
    UniqueFd file_;
    Status status_;
};

[[nodiscard]] Status writeFileAtomically(const std::string& path, std::string_view bytes,
                                         WriteMode mode = WriteMode::replace,
                                         Flush flush = Flush::toDisk, const std::string& root = {});

// Creates a folder and its parents; fine when it is there already.
[[nodiscard]] Status makeFolders(const std::string& path);
// The same below a root without following links: a link or a file where a
// folder belongs is an error, and nothing is made through it.
[[nodiscard]] Status makeFoldersWithin(const PathWithin& folder);

// Names, numbers and subjects come from other people's phones. A file name
// built from one is made a single harmless path component: "/" and NUL
// become "_", "." and ".." become "_" and "__", an empty name "_", and the
// result is cut to kSafeFileNameMaxBytes on a character boundary, leaving
// room for an extension within NAME_MAX.
inline constexpr std::size_t kSafeFileNameMaxBytes = 200;
[[nodiscard]] std::string safeFileName(std::string_view name);

// The part after the last "/", or the whole path when it has none.
[[nodiscard]] std::string_view lastComponent(std::string_view path);

}  // namespace vessamo
