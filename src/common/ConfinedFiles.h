#pragma once

#include <string>
#include <string_view>

#include "common/Status.h"
#include "common/UniqueFd.h"

namespace vessamo {

// A backup, a Timeline or an unpacked iCloud folder is somebody else's
// tree: a catalogue row or a database may name "../../etc/passwd", and a
// stored file may be a link to anything. Its files are therefore opened
// relative to the folder, no link below the folder is ever followed, and
// only regular files are taken. An export destination is treated alike:
// every folder below the one chosen is made and entered without following a
// link that someone planted there.
//
// The folder itself may be reached through links: the person chose it.

// A path inside a folder: the folder (root) and the full path below it. An
// empty root stands for the path's own folder, for files a caller knows no
// wider folder of.
struct PathWithin {
    std::string root;
    std::string path;
};

// The words a skipped source file is reported with.
inline constexpr std::string_view kNotRegularInside = "not a regular file inside the backup";

// Whether a path stored in a database or catalogue stays inside the folder
// it is relative to: not absolute, no "." or ".." step, no empty step.
[[nodiscard]] bool isPlainRelativePath(std::string_view relative);

// The part of path below root ("" for root itself); nullopt-like failure
// (invalid) when path does not lie lexically inside root.
[[nodiscard]] StatusOr<std::string> relativeInside(const PathWithin& file);

// Opens the regular file relative below folderFd for reading. A link at any
// step, a step out of the folder, or anything but a regular file at the
// end is refused (invalid, kNotRegularInside); a missing file is notFound.
[[nodiscard]] StatusOr<UniqueFd> openFileBeneath(int folderFd, std::string_view relative,
                                                 std::string_view shownPath);

// The same for a file named by its full path inside its root.
[[nodiscard]] StatusOr<UniqueFd> openSourceFile(const PathWithin& file);

// Whether openSourceFile would take the file.
[[nodiscard]] bool isSourceFile(const PathWithin& file);

// Opens (and with create, makes) the folder at file.path, which is file.root
// or lies below it. Each step below the root is made and entered without
// following links; a link or a non-folder on the way is an error (invalid)
// and nothing is made beyond it. With create, a missing root is made first.
[[nodiscard]] StatusOr<UniqueFd> openFolderWithin(const PathWithin& folder, bool create);

// Whether the kernel confines look-ups itself (openat2); otherwise each
// step is opened on its own without following links. For tests and logs.
[[nodiscard]] bool kernelConfinesLookups();
// Tests turn openat2 off to cover the step-by-step way on kernels that have it.
void allowKernelConfinement(bool allowed);

}  // namespace vessamo
