#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "app/OrlendoAppDelegate.h"
#include "common/Worker.h"
#include "results/ResultViewState.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace vessamo::gui {

// The bytes of the database the scan read, as characters, and their export
// to a text file. A database can be hundreds of megabytes: it is read and
// converted on a worker, and the text goes into the view a slice at a time
// so the window answers all along. The view breaks the text into lines of
// kLineLength characters only for the eye; the export writes it unbroken.
class CharacterWindow : public QDialog {
    Q_OBJECT

public:
    static constexpr int kLineLength = 128;
    // Characters put into the view per turn of the event loop.
    static constexpr size_t kSliceBytes = 256 * 1024;
    static_assert(kSliceBytes % kLineLength == 0, "a slice ends where a line ends");

    explicit CharacterWindow(OrlendoAppDelegate& app, QWidget* parent = nullptr);
    ~CharacterWindow() override;

    // Opens the window on the scanned database.
    void open() override;
    // Opens the window on any file (the scanned database, for open()).
    void openFile(const QString& path);

    // True while the file is read or its text still goes into the view.
    [[nodiscard]] bool isLoading() const;
    // The whole text shown, without the view's line breaks.
    [[nodiscard]] QString text() const;

    [[nodiscard]] QPlainTextEdit* textView() const { return view_; }
    [[nodiscard]] QPushButton* exportButton() const { return export_; }
    [[nodiscard]] QLabel* statusLabel() const { return status_; }

signals:
    // The whole text is in the view.
    void loaded();

private:
    void converted(uint64_t generation, std::shared_ptr<const std::string> text);
    void appendSlice();
    void exportText();

    OrlendoAppDelegate& app_;
    QPlainTextEdit* view_;
    QLabel* status_;
    QPushButton* export_;
    QTimer* feeder_;
    std::shared_ptr<const std::string> text_;  // what the view shows, unbroken
    size_t fed_ = 0;                           // bytes of text_ in the view
    uint64_t generation_ = 0;                  // a late reader of an earlier open is ignored
    bool reading_ = false;
    QString readingPath_;
    QString waitingPath_;  // asked for while another file was read
    Worker reader_;        // last: joined before the rest goes
};

}  // namespace vessamo::gui
