#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vessamo::sample {

// One member of a tar archive, written exactly as given: names and link
// targets are not checked, so tests can build the archives a careless or
// hostile tool would make.
struct TarMember {
    enum class Kind { File, Folder, Symlink, HardLink };
    Kind kind = Kind::File;
    std::string name;
    std::string content;     // files only
    std::string linkTarget;  // links only
    uint32_t mode = 0644;
    // The header's checksum is wrong, as in an archive damaged in transit:
    // readers must pass this member over and go on with the next.
    bool damagedHeader = false;
};

// A ustar archive (GNU long-name records for names over 100 bytes).
class SampleTarArchive {
public:
    SampleTarArchive& addFile(std::string name, std::string content);
    SampleTarArchive& addFolder(std::string name);
    SampleTarArchive& addSymlink(std::string name, std::string target);
    SampleTarArchive& addMember(TarMember member);

    [[nodiscard]] const std::vector<TarMember>& members() const { return members_; }
    [[nodiscard]] std::string tarBytes() const;
    // The archive as gzip, the way iCloud Drive keeps its ".tar" files.
    [[nodiscard]] std::string gzipBytes() const;
    // Writes gzipBytes() to path; false when it could not be written.
    [[nodiscard]] bool writeGzip(const std::string& path) const;
    // Writes tarBytes() to path, uncompressed.
    [[nodiscard]] bool writeTar(const std::string& path) const;

private:
    std::vector<TarMember> members_;
};

// A gzip stream of the data in stored (uncompressed) deflate blocks: every
// gzip reader takes it, and no compression library is needed to write it.
[[nodiscard]] std::string gzipStored(const std::string& data);

}  // namespace vessamo::sample
