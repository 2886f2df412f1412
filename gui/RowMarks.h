#pragma once

#include <cstddef>
#include <vector>

#include "results/ResultPages.h"

namespace vessamo::gui {

// The check boxes of the showing list, kept in step with the count the
// selection label shows. The pages count every mark handed to them, even a
// mark a row already has; these hand over only the rows whose mark really
// changes, so the count always equals the records that are marked.
class RowMarks {
public:
    explicit RowMarks(ResultPages& pages) : pages_(pages) {}

    // Rows of the showing list (the media files and cards on the media page).
    [[nodiscard]] size_t rows() const;
    // Sets the mark of the rows; returns how many changed.
    int set(const std::vector<size_t>& rows, bool on);
    // The select-all box: every row of the showing list marked or cleared.
    int setAll(bool on);
    // True when the showing list has rows and every one is marked.
    [[nodiscard]] bool allMarked() const;

private:
    ResultPages& pages_;
};

}  // namespace vessamo::gui
