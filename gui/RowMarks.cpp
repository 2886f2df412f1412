#include "RowMarks.h"

namespace vessamo::gui {

size_t RowMarks::rows() const {
    switch (pages_.currentTableView()) {
        case ResultCategory::Chats:
            return pages_.chatRows().size();
        case ResultCategory::Attachments:
            return pages_.resourceRows().size();
        case ResultCategory::Calls:
            return pages_.callRows().size();
        case ResultCategory::Contacts:
            return pages_.contactRows().size();
        case ResultCategory::Favorites:
            return pages_.favRows().size();
        case ResultCategory::None:
            break;
    }
    return 0;
}

int RowMarks::set(const std::vector<size_t>& rows, bool on) {
    const size_t count = this->rows();
    std::vector<size_t> changing;
    for (size_t row : rows) {
        if (row < count && pages_.isMarked(row) != on) {
            changing.push_back(row);
        }
    }
    if (!changing.empty()) {
        pages_.setMarked(changing, on);
    }
    return static_cast<int>(changing.size());
}

int RowMarks::setAll(bool on) {
    std::vector<size_t> all(rows());
    for (size_t row = 0; row < all.size(); ++row) {
        all[row] = row;
    }
    return set(all, on);
}

bool RowMarks::allMarked() const {
    const size_t count = rows();
    if (count == 0) {
        return false;
    }
    for (size_t row = 0; row < count; ++row) {
        if (!pages_.isMarked(row)) {
            return false;
        }
    }
    return true;
}

}  // namespace vessamo::gui
