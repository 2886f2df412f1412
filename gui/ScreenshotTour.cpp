#include "ScreenshotTour.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimerEvent>
#include <algorithm>
#include <cstdio>

#include "ChatView.h"
#include "ChatViewModel.h"
#include "EmptyStatePage.h"
#include "KTExpandButton.h"
#include "KTWhatsAppTypeButton.h"
#include "MainWindow.h"
#include "PreferencesWindow.h"
#include "ResultSearchField.h"
#include "ResultsPage.h"
#include "ScanningPage.h"
#include "SourceListView.h"
#include "ThumbnailCache.h"
#include "app/OrlendoAppDelegate.h"

namespace vessamo::gui {

namespace {

constexpr const char* kOption = "--screenshots";

QMessageBox* visibleSheet() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
            return box;
        }
    }
    return nullptr;
}

}  // namespace

ScreenshotTour::ScreenshotTour(OrlendoAppDelegate& app, MainWindow& window, QString folder,
                               QObject* parent)
    : QObject(parent), app_(app), window_(window), folder_(std::move(folder)) {
    addSteps();
}

std::unique_ptr<ScreenshotTour> ScreenshotTour::fromArguments(const QStringList& arguments,
                                                              MainWindow* window) {
    QString folder;
    for (qsizetype at = 0; at < arguments.size(); ++at) {
        if (arguments[at] == QLatin1String(kOption) && at + 1 < arguments.size()) {
            folder = arguments[at + 1];
        } else if (arguments[at].startsWith(QLatin1String(kOption) + '=')) {
            folder = arguments[at].mid(static_cast<qsizetype>(qstrlen(kOption)) + 1);
        }
    }
    OrlendoAppDelegate* app = OrlendoAppDelegate::GetAppControllor();
    if (folder.isEmpty() || window == nullptr || app == nullptr) {
        return nullptr;
    }
    auto tour = std::make_unique<ScreenshotTour>(*app, *window, folder);
    tour->start();
    return tour;
}

void ScreenshotTour::addSteps() {
    const auto whole = [this] { return window_.grab(); };
    const auto always = [] { return true; };
    steps_.push_back({"home.png",
                      [this] {
                          window_.resize(1180, 760);
                          window_.showHome();
                      },
                      always, whole});
    steps_.push_back({"sources-expanded.png",
                      [this] {
                          window_.showSources();
                          expandFirstBackup();
                      },
                      [this] {
                          for (const SourceListRow& row : app_.sourceList().rows()) {
                              if (row.kind == SourceListRow::Kind::Panel) {
                                  return true;
                              }
                          }
                          return false;
                      },
                      whole});
    steps_.push_back({"scanning.png",
                      [this] {
                          // Recovered messages show in the chats picture.
                          app_.ClickAdvancedRecoveryMode(true);
                          clickCategory(1);
                      },
                      [this] { return scanIsMidway(); }, whole});
    steps_.push_back({"alert-sheet.png",
                      {},
                      [] { return visibleSheet() != nullptr; },
                      [this] { return windowWithSheet(); }});
    steps_.push_back({"chats.png", [this] { answerSheet(); },
                      [this] {
                          const ResultViewState state = app_.resultView().state();
                          const ChatView& chat = *window_.results().chatView();
                          const QScrollBar* bar = chat.messageList()->verticalScrollBar();
                          return visibleSheet() == nullptr && state.page == ResultPage::Results &&
                                 state.category == ResultCategory::Chats &&
                                 window_.resultPage() ==
                                     static_cast<QWidget*>(&window_.results()) &&
                                 chat.model().rowCount() > 0 && bar->value() == bar->maximum();
                      },
                      whole});
    addConversationSteps();
    // The other lists, through the source's category buttons.
    const std::pair<const char*, ResultCategory> lists[] = {
        {"media.png", ResultCategory::Attachments},
        {"calls.png", ResultCategory::Calls},
        {"contacts.png", ResultCategory::Contacts}};
    for (const auto& [file, category] : lists) {
        steps_.push_back({file, [this, category] { clickCategory(static_cast<int>(category)); },
                          [this, category] { return resultsShow(category); }, whole});
    }
    steps_.push_back({"contact-picture.png", [this] { selectContactWithPicture(); },
                      [this] { return resultsShow(ResultCategory::Contacts); }, whole});
    steps_.push_back({"search.png",
                      [this] {
                          clickCategory(static_cast<int>(ResultCategory::Chats));
                          searchText_ = QStringLiteral("Group");
                      },
                      [this] { return searchShows(); }, whole});
    steps_.push_back({"timeline.png",
                      [this] {
                          window_.results().searchField()->clear();
                          window_.showTimeline();
                      },
                      [this] { return window_.showsTimeline(); }, whole});
    steps_.push_back({"preferences.png", [this] { window_.showPreferences(); },
                      [this] { return window_.preferences().isVisible(); },
                      [this] { return window_.preferences().grab(); }});
    // An empty page: the Timeline section's placeholder says what a Timeline is.
    steps_.push_back(
        {"empty-timeline.png",
         [this] {
             window_.preferences().hide();
             app_.KTLeftTipButtonMouseDownHandle(4);
         },
         [this] { return window_.resultPage() == static_cast<QWidget*>(&window_.emptyState()); },
         whole});
}

void ScreenshotTour::start() {
    QDir().mkpath(folder_);
    timer_.start(kTickMs, this);
}

void ScreenshotTour::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    if (current_ >= steps_.size()) {
        finish();
        return;
    }
    Step& step = steps_[current_];
    if (!prepared_) {
        prepared_ = true;
        sincePrepared_.start();
        sinceReady_.invalidate();
        if (step.prepare) {
            step.prepare();
        }
        return;
    }
    if (!step.ready()) {
        sinceReady_.invalidate();
        if (sincePrepared_.elapsed() > kStepTimeoutMs) {
            failures_ << step.file + ": the screen never appeared";
            advance();
        }
        return;
    }
    // A scan moves on quickly: it is taken at once, every other screen
    // once its layout and first paints have settled.
    const bool atOnce = step.file == QLatin1String("scanning.png");
    if (!sinceReady_.isValid()) {
        sinceReady_.start();
    }
    if (!atOnce && sinceReady_.elapsed() < kSettleMs) {
        return;
    }
    save(step.file, step.picture());
    advance();
}

void ScreenshotTour::advance() {
    ++current_;
    prepared_ = false;
}

void ScreenshotTour::finish() {
    timer_.stop();
    for (const QString& failure : failures_) {
        std::fprintf(stderr, "screenshots: %s\n", qPrintable(failure));
    }
    QCoreApplication::exit(failures_.isEmpty() ? 0 : 1);
}

bool ScreenshotTour::save(const QString& file, const QPixmap& picture) {
    const QString path = QDir(folder_).filePath(file);
    if (picture.isNull() || !picture.save(path, "PNG")) {
        failures_ << file + ": could not be saved to " + path;
        return false;
    }
    std::fprintf(stdout, "screenshots: %s\n", qPrintable(path));
    return true;
}

// Mid-scan: the page shows figures between the first and the last percent.
bool ScreenshotTour::scanIsMidway() const {
    const ResultViewState state = app_.resultView().state();
    if (state.page != ResultPage::Scanning || state.progressValue < 1 || state.progressValue > 99 ||
        !state.messageCountVisible ||
        window_.resultPage() != static_cast<QWidget*>(&window_.scanning())) {
        return false;
    }
    // The page has caught up with the state the picture is meant to show.
    QCoreApplication::processEvents();
    return !window_.scanning().percentLabel()->text().isEmpty();
}

// The sheet is a window of its own: drawn over the dimmed main window, below
// the toolbar, where a person sees it.
QPixmap ScreenshotTour::windowWithSheet() const {
    QPixmap picture = window_.grab();
    QMessageBox* sheet = visibleSheet();
    if (sheet == nullptr) {
        return picture;
    }
    const QPixmap box = sheet->grab();
    QPainter painter(&picture);
    const qreal ratio = picture.devicePixelRatio();
    const QSizeF logical = QSizeF(picture.size()) / ratio;
    painter.fillRect(QRectF(QPointF(0, 0), logical), QColor(0, 0, 0, 40));
    const QSizeF boxSize = QSizeF(box.size()) / box.devicePixelRatio();
    const QPointF at((logical.width() - boxSize.width()) / 2, logical.height() / 8);
    painter.drawPixmap(at, box);
    painter.setPen(QColor(0, 0, 0, 60));
    painter.drawRect(QRectF(at, boxSize).adjusted(-0.5, -0.5, 0.5, 0.5));
    return picture;
}

void ScreenshotTour::answerSheet() {
    if (QMessageBox* sheet = visibleSheet()) {
        const QList<QAbstractButton*> buttons = sheet->buttons();
        if (!buttons.isEmpty()) {
            buttons.first()->click();
        }
    }
}

// The first listed backup's expand button.
void ScreenshotTour::expandFirstBackup() {
    for (KTExpandButton* button : window_.sourceList().findChildren<KTExpandButton*>()) {
        const SourceListRow* row = app_.sourceList().entry(button->entryId());
        if (row != nullptr && row->record && row->type == SourceEntryType::ITunes) {
            button->click();
            return;
        }
    }
    failures_ << "sources-expanded.png: no backup to expand";
}

// A category button of the expanded backup, as a person clicks it.
void ScreenshotTour::clickCategory(int btnType) {
    for (KTWhatsAppTypeButton* button :
         window_.sourceList().findChildren<KTWhatsAppTypeButton*>()) {
        if (button->btnType() == btnType && button->isVisible() && button->isEnabled()) {
            button->click();
            return;
        }
    }
    failures_ << QString("no visible category button %1").arg(btnType);
}

// A group conversation with pictures, then one with a voice note, each
// opened from the chat list as a person would. The large sample deletes
// nothing, so its chats hold no recovered message to show.
void ScreenshotTour::addConversationSteps() {
    const auto whole = [this] { return window_.grab(); };
    const auto groupWithPictures = [](const KTWhatsAppCovNode& chat, const MessageRange& messages) {
        const auto has = [&](auto&& test) {
            return std::any_of(messages.begin(), messages.end(), test);
        };
        return chat.isGroupCov && !chat.bStarredCovMessage &&
               has([](const KTWhatsAppNode& m) { return m.attchType == 1; });
    };
    const auto withVoiceNote = [](const KTWhatsAppCovNode&, const MessageRange& messages) {
        return std::any_of(messages.begin(), messages.end(),
                           [](const KTWhatsAppNode& m) { return m.attchType == 3; });
    };
    steps_.push_back({"chat-group.png",
                      [this, groupWithPictures] {
                          wantedKind_ = static_cast<int>(MessageKind::Picture);
                          openChatWhere(groupWithPictures);
                      },
                      [this] { return openedChatShows(); }, whole});
    steps_.push_back({"voice-note.png",
                      [this, withVoiceNote] {
                          wantedKind_ = static_cast<int>(MessageKind::Audio);
                          openChatWhere(withVoiceNote);
                      },
                      [this] { return openedChatShows(); }, whole});
}

bool ScreenshotTour::resultsShow(ResultCategory category) const {
    return window_.resultPage() == static_cast<QWidget*>(&window_.results()) &&
           window_.results().category() == category;
}

// Selects the first chat of the list that the test accepts; the chat view
// opens it on its worker.
void ScreenshotTour::openChatWhere(const ChatTest& wanted) {
    ResultPages& pages = app_.resultView().pages();
    const ResultListsPtr& lists = pages.lists();
    QTableView* table = window_.results().table();
    const std::vector<const KTWhatsAppCovNode*>& chats = pages.chatRows();
    for (size_t row = 0; lists && row < chats.size(); ++row) {
        if (wanted(*chats[row], lists->result->messagesOf(*chats[row]))) {
            wantedChat_ = chats[row];
            table->selectionModel()->setCurrentIndex(
                table->model()->index(static_cast<int>(row), 0),
                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            return;
        }
    }
    wantedChat_ = nullptr;
    failures_ << "the sample has no conversation for this picture";
}

// The chosen conversation is in the chat view, paged back to the first
// message of the wanted kind, which is scrolled to the top; its pictures
// are decoded.
bool ScreenshotTour::openedChatShows() {
    ChatView& chat = *window_.results().chatView();
    const ChatViewModel& model = chat.model();
    if (wantedChat_ == nullptr || model.conversation() != wantedChat_ || model.rowCount() == 0) {
        return false;
    }
    int wanted = -1;
    for (int row = model.rowCount() - 1; row >= 0 && wanted < 0; --row) {
        if (model.data(model.index(row), ChatViewModel::KindRole).toInt() == wantedKind_) {
            wanted = row;
        }
    }
    if (wanted < 0 && chat.moreButton()->isVisible()) {
        chat.moreButton()->click();
        return false;
    }
    if (wanted >= 0) {
        chat.messageList()->scrollTo(model.index(wanted), QAbstractItemView::PositionAtTop);
    }
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row);
        const QString file = model.data(index, ChatViewModel::MediaPathRole).toString();
        if (model.data(index, ChatViewModel::KindRole).toInt() ==
                static_cast<int>(MessageKind::Picture) &&
            !file.isEmpty() && !chat.thumbnails().failed(file) &&
            model.data(index, ChatViewModel::ThumbnailRole).value<QImage>().isNull()) {
            return false;
        }
    }
    return true;
}

void ScreenshotTour::selectContactWithPicture() {
    const std::vector<const KTContactNode*>& contacts = app_.resultView().pages().contactRows();
    QTableView* table = window_.results().table();
    for (size_t row = 0; row < contacts.size(); ++row) {
        if (contacts[row]->imageData && !contacts[row]->imageData->empty()) {
            table->selectionModel()->setCurrentIndex(
                table->model()->index(static_cast<int>(row), 0),
                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            return;
        }
    }
    failures_ << "contact-picture.png: no contact with a picture";
}

// Types the search once the chat page shows, then waits for its rows.
bool ScreenshotTour::searchShows() {
    if (!resultsShow(ResultCategory::Chats)) {
        return false;
    }
    ResultSearchField* field = window_.results().searchField();
    if (field->text() != searchText_) {
        field->setText(searchText_);
        return false;
    }
    const QAbstractItemModel* model = window_.results().table()->model();
    return model != nullptr && model->rowCount() > 0 &&
           model->rowCount() < static_cast<int>(app_.resultView().pages().lists()->chats.size());
}

}  // namespace vessamo::gui
