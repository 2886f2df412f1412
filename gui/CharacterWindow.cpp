#include "CharacterWindow.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

#include "Theme.h"
#include "export/CharacterView.h"

namespace vessamo::gui {

CharacterWindow::CharacterWindow(OrlendoAppDelegate& app, QWidget* parent)
    : QDialog(parent),
      app_(app),
      view_(new QPlainTextEdit(this)),
      status_(new QLabel(this)),
      export_(new QPushButton(tr("Export"), this)),
      feeder_(new QTimer(this)) {
    setObjectName("characterWindow");
    setWindowTitle(tr("Database characters"));
    setWindowModality(Qt::WindowModal);
    view_->setObjectName("characterText");
    view_->setReadOnly(true);
    view_->setUndoRedoEnabled(false);  // the undo stack would hold the text twice
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view_->setMinimumSize(view_->fontMetrics().horizontalAdvance(QString(80, u'W')),
                          view_->fontMetrics().height() * 24);
    status_->setObjectName("characterStatus");
    Theme::makeMuted(status_);
    export_->setObjectName("characterExport");
    export_->setIcon(Theme::themedIcon("document-save", QString()));
    export_->setToolTip(tr("Writes the characters to hexFile.txt in your Documents folder"));
    export_->setEnabled(false);
    connect(export_, &QPushButton::clicked, this, &CharacterWindow::exportText);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(export_, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Theme::windowMargin, Theme::windowMargin, Theme::windowMargin,
                               Theme::windowMargin);
    layout->setSpacing(Theme::relatedSpacing);
    layout->addWidget(view_, 1);
    layout->addWidget(status_);
    layout->addWidget(buttons);

    feeder_->setInterval(0);
    connect(feeder_, &QTimer::timeout, this, &CharacterWindow::appendSlice);
}

CharacterWindow::~CharacterWindow() = default;

void CharacterWindow::open() {
    const ScanResultPtr result = app_.currentResult();
    openFile(result ? QString::fromStdString(result->currentScanPath) : QString());
}

void CharacterWindow::openFile(const QString& path) {
    QDialog::open();
    if (reading_) {
        // The worker cannot be told to stop a read half way; the file asked
        // for last follows once it is done.
        waitingPath_ = path == readingPath_ ? QString() : path;
        return;
    }
    feeder_->stop();
    view_->clear();
    text_.reset();
    fed_ = 0;
    export_->setEnabled(false);
    const uint64_t generation = ++generation_;
    if (path.isEmpty()) {
        status_->setText(tr("No database was scanned yet."));
        emit loaded();
        return;
    }
    status_->setText(tr("Reading the database…"));
    reading_ = true;
    readingPath_ = path;
    reader_.join();  // a reader that handed over its text is at most returning
    reader_.start([this, generation, file = path.toStdString()](const std::stop_token& stop) {
        auto text = std::make_shared<const std::string>(ConvertFileToHexString(file));
        if (stop.stop_requested()) {
            return;  // the window is going
        }
        QMetaObject::invokeMethod(
            this, [this, generation, text] { converted(generation, text); }, Qt::QueuedConnection);
    });
}

void CharacterWindow::converted(uint64_t generation, std::shared_ptr<const std::string> text) {
    reading_ = false;
    if (!waitingPath_.isEmpty()) {
        const QString next = std::exchange(waitingPath_, QString());
        openFile(next);
        return;
    }
    if (generation != generation_) {
        return;
    }
    text_ = std::move(text);
    fed_ = 0;
    status_->setText(tr("Showing the database…"));
    appendSlice();
    if (fed_ < text_->size()) {
        feeder_->start();
    }
}

void CharacterWindow::appendSlice() {
    if (!text_) {
        feeder_->stop();
        return;
    }
    const std::string& all = *text_;
    const size_t end = std::min(all.size(), fed_ + kSliceBytes);
    QString slice;
    slice.reserve(static_cast<qsizetype>(end - fed_ + (end - fed_) / kLineLength + 1));
    for (size_t at = fed_; at < end; at += kLineLength) {
        // Every line but the text's very first starts a new paragraph.
        if (at > 0) {
            slice += u'\n';
        }
        const size_t length = std::min<size_t>(kLineLength, end - at);
        slice += QLatin1String(all.data() + at, static_cast<qsizetype>(length));
    }
    // Inserted at the end without moving the view: the person may be reading
    // the start while the rest comes in.
    QTextCursor cursor(view_->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(slice);
    fed_ = end;
    if (fed_ < all.size()) {
        return;
    }
    feeder_->stop();
    export_->setEnabled(true);
    status_->setText(
        all.size() == 1
            ? tr("1 character")
            : tr("%1 characters").arg(QLocale().toString(static_cast<qulonglong>(all.size()))));
    emit loaded();
}

bool CharacterWindow::isLoading() const {
    return reading_ || (text_ && fed_ < text_->size());
}

QString CharacterWindow::text() const {
    return text_ ? QString::fromLatin1(text_->data(), static_cast<qsizetype>(text_->size()))
                 : QString();
}

void CharacterWindow::exportText() {
    if (text_) {
        app_.exportCommands().actExportImage(*text_);
    }
}

}  // namespace vessamo::gui
