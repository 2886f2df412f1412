#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "common/Text.h"

namespace vessamo {

// Hands out the file names of one folder for one export run, so that no
// record loses its file to another of the same name: the first record gets
// "Name.ext", the next one of that name "Name (2).ext", then "(3)", and so
// on. A record that asks again under the same owner key (the same person,
// the same source file) gets the name it was given before. Files of earlier
// runs are not counted: an export made again replaces its own files.
class ExportFileNames {
public:
    // Files of a folder that is its own root.
    explicit ExportFileNames(std::string folder) : folder_(folder), root_(std::move(folder)) {}
    // root is the destination the person chose, folder lies inside it; files
    // are written inside root without following links below it.
    ExportFileNames(std::string folder, std::string root)
        : folder_(std::move(folder)), root_(std::move(root)) {}

    // The full path for a record called name (made a safe path component
    // here) with extension (".vcf", or "" for none).
    [[nodiscard]] std::string claim(std::string_view name, std::string_view extension,
                                    std::string_view owner = {});

    // The same for a file name that carries its extension: "a.jpg", then
    // "a (2).jpg". A name whose only dot leads it has no extension.
    [[nodiscard]] std::string claimFileName(std::string_view fileName, std::string_view owner = {});

    // For a record that writes several files from one stem (the pages of a
    // long chat, "Stem_0.html", "Stem_1.html"): the first stem among "Stem",
    // "Stem (2)", ... whose every file name is still free, with all of them
    // claimed. The suffixes are appended to the stem as they stand.
    [[nodiscard]] std::string claimStem(std::string_view name,
                                        std::span<const std::string> suffixes);

    [[nodiscard]] const std::string& folder() const { return folder_; }
    [[nodiscard]] const std::string& root() const { return root_; }

    // A file name given out in this run, as kept here for the run's length;
    // empty when fileName was never given out.
    [[nodiscard]] Text given(std::string_view fileName) const;

private:
    [[nodiscard]] static std::string numbered(const std::string& stem, size_t n);
    [[nodiscard]] bool take(std::string_view fileName);

    std::string folder_;
    std::string root_;
    // Every name is kept once, in blocks: tens of thousands of files cost a
    // few allocations, not one per name and key.
    TextStore bytes_;
    std::unordered_set<std::string_view> taken_;                     // file names given out
    std::unordered_map<std::string_view, std::string_view> owners_;  // owner key -> file name
};

}  // namespace vessamo
