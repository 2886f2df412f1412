#pragma once

#include <QWidget>
#include <cstdint>
#include <vector>

#include "app/OrlendoAppDelegate.h"

class QLabel;
class QProgressBar;
class QTimer;

namespace vessamo::gui {

// A short list of the latest exports: what each saves, a bar, and its state
// ("Done: 12 files" once it has ended and its folder was shown). It reads
// the exports' counts on a timer, quickly while one runs, slowly otherwise
// so exports started elsewhere (the recovery, the character view) appear.
class ExportProgressView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kShownExports = 3;

    explicit ExportProgressView(OrlendoAppDelegate& app, QWidget* parent = nullptr);

    // An export was just started here: follow it closely.
    void follow();

    struct Row {
        uint64_t id = 0;
        QWidget* widget = nullptr;
        QLabel* name = nullptr;
        QProgressBar* bar = nullptr;
        QLabel* state = nullptr;
    };
    // The rows shown, newest last.
    [[nodiscard]] const std::vector<Row>& rows() const { return rows_; }

    // What an export saves, as its row names it.
    [[nodiscard]] static QString nameOf(ExportButton button);

private:
    void poll();
    Row& rowFor(const ExportProgress& progress);
    void fill(Row& row, const ExportProgress& progress);
    void dropOldRows();
    [[nodiscard]] int nameWidth() const;

    OrlendoAppDelegate& app_;
    QTimer* timer_;
    uint64_t known_ = 0;  // the newest export id seen
    std::vector<Row> rows_;
};

}  // namespace vessamo::gui
