#include "DetailPane.h"

#include <QAudioOutput>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaPlayer>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoWidget>
#include <array>
#include <string_view>

#include "MediaBrowserModel.h"
#include "MediaIcons.h"
#include "MediaSourceRoot.h"
#include "Theme.h"
#include "ThumbnailCache.h"
#include "results/DisplayText.h"
#include "results/ResultPages.h"

namespace vessamo::gui {

namespace {

constexpr int kPictureSide = 240;  // the largest a picture is shown
constexpr int kIconSide = 96;
constexpr int kAvatarSide = 128;

QString qtext(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A labelled line whose value is empty says nothing: it is left out.
bool saysNothing(std::string_view line) {
    static constexpr std::array<std::string_view, 9> kLabels = {
        "File Name: ", "File Type: ", "Phone: ",    "Status: ",  "Email: ",
        "HomePage: ",  "Company: ",   "JobTitle: ", "Birthday: "};
    if (line.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        return true;
    }
    for (std::string_view label : kLabels) {
        if (line == label) {
            return true;
        }
    }
    return false;
}

// WhatsApp numbers are stored as addresses ("4917...@s.whatsapp.net").
QString numberOf(std::string_view jid) {
    return qtext(jid.substr(0, jid.find('@')));
}

// A person's picture: the middle square, round, as address books show it.
QImage avatarOf(const QImage& image) {
    const int side = std::min(image.width(), image.height());
    const QImage square =
        image.copy((image.width() - side) / 2, (image.height() - side) / 2, side, side)
            .scaled(kAvatarSide, kAvatarSide, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage round(kAvatarSide, kAvatarSide, QImage::Format_ARGB32_Premultiplied);
    round.fill(Qt::transparent);
    QPainter painter(&round);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath circle;
    circle.addEllipse(QRectF(0, 0, kAvatarSide, kAvatarSide));
    painter.setClipPath(circle);
    painter.drawImage(0, 0, square);
    return round;
}

QImage fitted(const QImage& image) {
    if (image.width() <= kPictureSide && image.height() <= kPictureSide) {
        return image;
    }
    return image.scaled(kPictureSide, kPictureSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

DetailPane::DetailPane(OrlendoAppDelegate& app, QWidget* parent)
    : QWidget(parent),
      app_(app),
      visuals_(new QStackedWidget(this)),
      pictureLabel_(new QLabel(visuals_)),
      moviePage_(new QWidget(visuals_)),
      movieScreen_(new QStackedWidget(moviePage_)),
      video_(new QVideoWidget(movieScreen_)),
      movieIcon_(new QLabel(movieScreen_)),
      playButton_(new QToolButton(moviePage_)),
      textView_(new QPlainTextEdit(visuals_)),
      titleLabel_(new QLabel(this)),
      fieldBox_(new QWidget(this)),
      fieldLines_(new QVBoxLayout(fieldBox_)),
      previewButton_(new QPushButton(tr("Preview"), this)),
      placeholder_(new QLabel(tr("Choose an entry in the list to see its details."), this)) {
    decoder_.setMaxThreadCount(1);
    buildLayout();
    connect(playButton_, &QToolButton::clicked, this, &DetailPane::togglePlaying);
    connect(previewButton_, &QPushButton::clicked, this,
            [this] { emit previewRequested(previewFile_, previewName_); });
    clear();
}

DetailPane::~DetailPane() {
    decoder_.clear();
    decoder_.waitForDone();
    if (player_ != nullptr) {
        player_->stop();
    }
}

void DetailPane::buildLayout() {
    setObjectName("detailPane");
    visuals_->setObjectName("detailVisual");
    pictureLabel_->setObjectName("detailPicture");
    pictureLabel_->setAlignment(Qt::AlignCenter);
    pictureLabel_->setMinimumHeight(kIconSide);
    video_->setObjectName("detailVideo");
    video_->setMinimumSize(160, 90);
    movieIcon_->setAlignment(Qt::AlignCenter);
    movieScreen_->addWidget(video_);
    movieScreen_->addWidget(movieIcon_);
    playButton_->setObjectName("detailPlayButton");
    playButton_->setIcon(MediaIcons::play());
    playButton_->setIconSize(QSize(24, 24));
    playButton_->setToolTip(tr("Play"));
    playButton_->setAccessibleName(tr("Play"));
    auto* movieColumn = new QVBoxLayout(moviePage_);
    movieColumn->setContentsMargins(0, 0, 0, 0);
    movieColumn->setSpacing(Theme::relatedSpacing);
    movieColumn->addWidget(movieScreen_, 1);
    movieColumn->addWidget(playButton_, 0, Qt::AlignHCenter);
    textView_->setObjectName("detailText");
    textView_->setReadOnly(true);
    visuals_->addWidget(pictureLabel_);
    visuals_->addWidget(moviePage_);
    visuals_->addWidget(textView_);
    visuals_->setMaximumHeight(kPictureSide + 48);

    titleLabel_->setObjectName("detailTitle");
    titleLabel_->setFont(Theme::titleFont(font(), 1));
    titleLabel_->setWordWrap(true);
    titleLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    fieldBox_->setObjectName("detailFields");
    fieldLines_->setContentsMargins(0, 0, 0, 0);
    fieldLines_->setSpacing(Theme::relatedSpacing / 2);
    previewButton_->setObjectName("detailPreviewButton");
    previewButton_->setIcon(Theme::themedIcon("document-preview", QString()));
    placeholder_->setObjectName("detailPlaceholder");
    placeholder_->setAlignment(Qt::AlignCenter);
    placeholder_->setWordWrap(true);
    Theme::makeMuted(placeholder_);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(Theme::windowMargin, Theme::windowMargin, Theme::windowMargin,
                               Theme::windowMargin);
    column->setSpacing(Theme::relatedSpacing);
    column->addWidget(visuals_);
    column->addSpacing(Theme::relatedSpacing);
    column->addWidget(titleLabel_);
    column->addWidget(fieldBox_);
    column->addWidget(previewButton_, 0, Qt::AlignLeft);
    column->addWidget(placeholder_, 1);
    column->addStretch(1);
}

QString DetailPane::title() const {
    return titleLabel_->isHidden() ? QString() : titleLabel_->text();
}

QString DetailPane::text() const {
    return visual_ == Visual::Text ? textView_->toPlainText() : QString();
}

void DetailPane::clear() {
    if (player_ != nullptr) {
        releaseSource(*player_);
    }
    playButton_->setIcon(MediaIcons::play());
    visual_ = Visual::None;
    visuals_->hide();
    picture_ = QImage();
    loading_ = false;
    personPicture_ = false;
    ++generation_;
    pictureFallback_ = QIcon();
    titleLabel_->clear();
    titleLabel_->hide();
    fields_.clear();
    while (QLayoutItem* line = fieldLines_->takeAt(0)) {
        delete line->widget();
        delete line;
    }
    fieldBox_->hide();
    previewFile_.clear();
    previewName_.clear();
    previewButton_->hide();
    placeholder_->show();
}

void DetailPane::showDetails(ResultCategory category) {
    clear();
    const ResultPages& pages = app_.resultView().pages();
    const std::optional<size_t> row = pages.selectedRow();
    if (!row || pages.currentTableView() != category) {
        return;
    }
    switch (category) {
        case ResultCategory::Attachments:
            if (*row < pages.resourceRows().size()) {
                showResource(pages.details(), *row);
            }
            break;
        case ResultCategory::Contacts:
        case ResultCategory::Favorites:
            showPerson(pages.details(), category);
            break;
        case ResultCategory::Calls:
            if (*row < pages.callRows().size()) {
                showCall(*row);
            }
            break;
        case ResultCategory::Chats:
        case ResultCategory::None:
            return;
    }
    placeholder_->setVisible(title().isEmpty() && fields_.isEmpty() && visual_ == Visual::None);
}

void DetailPane::showResource(const RowDetails& details, size_t row) {
    const KTWhatsAppResourceNode& node = *app_.resultView().pages().resourceRows()[row];
    const QString file = qtext(details.picturePath);
    const QString name = qtext(node.nodeName);
    const MediaBrowserModel::Kind kind = MediaBrowserModel::kindOfType(node.nodeType);
    setFields(details.lines, false);
    switch (details.look) {
        case RowDetails::Look::Image:
            pictureFallback_ = MediaIcons::of(kind, name);
            showPictureFile(file);
            break;
        case RowDetails::Look::Movie:
            showMovie(file, kind == MediaBrowserModel::Kind::Audio);
            break;
        case RowDetails::Look::Text:
            visual_ = Visual::Text;
            textView_->setPlainText(qtext(details.text));
            visuals_->setCurrentWidget(textView_);
            visuals_->show();
            break;
        case RowDetails::Look::FileIcon:
            showIcon(MediaIcons::of(kind, name));
            visual_ = Visual::FileIcon;
            break;
        case RowDetails::Look::None:
            break;
    }
    if (!file.isEmpty() && details.look != RowDetails::Look::Text) {
        previewFile_ = file;
        previewName_ = name;
        previewButton_->show();
    }
}

void DetailPane::showPerson(const RowDetails& details, ResultCategory category) {
    setFields(details.lines, true);
    personPicture_ = true;
    if (details.imageData) {
        const QImage image = QImage::fromData(
            reinterpret_cast<const uchar*>(details.imageData->data()),
            static_cast<int>(std::min<size_t>(details.imageData->size(), INT32_MAX)));
        if (!image.isNull()) {
            showImage(avatarOf(image));
            return;
        }
    }
    // WhatsApp contacts name a file of the source, or the application's
    // own image; an address-book contact without a picture gets that too.
    const QString file = qtext(details.picturePath);
    pictureFallback_ = MediaIcons::contact();
    if (category == ResultCategory::Favorites && file.startsWith('/')) {
        showPictureFile(file);
    } else {
        showIcon(pictureFallback_);
        visual_ = Visual::Picture;
    }
}

void DetailPane::showCall(size_t row) {
    const KTCallHistoryNode& call = *app_.resultView().pages().callRows()[row];
    const QString number = numberOf(call.callPhone);
    const QString name = call.callName.empty() ? number : qtext(call.callName);
    std::vector<std::string> lines = {name.toStdString()};
    const auto add = [&lines](const QString& label, const QString& value) {
        if (!value.trimmed().isEmpty()) {
            lines.push_back(label.arg(value).toStdString());
        }
    };
    if (!call.callName.empty()) {
        add(tr("Number: %1"), number);
    }
    add(tr("Direction: %1"), qtext(call.callType));
    add(tr("Date: %1"), QString::fromStdString(callDateText(call.callDate)));
    add(tr("Duration: %1"), qtext(call.callDuration));
    if (call.bDeleted) {
        lines.push_back(tr("Recovered from deleted data").toStdString());
    }
    setFields(lines, true);
}

void DetailPane::setFields(const std::vector<std::string>& lines, bool firstIsTitle) {
    bool titled = !firstIsTitle;
    for (const std::string& line : lines) {
        if (saysNothing(line)) {
            if (!titled) {
                titled = true;  // no name: the fields stand alone
            }
            continue;
        }
        const QString shown = QString::fromStdString(line);
        if (!titled) {
            titled = true;
            titleLabel_->setText(shown);
            titleLabel_->show();
            continue;
        }
        fields_.append(shown);
        auto* label = new QLabel(shown, fieldBox_);
        label->setObjectName("detailField");
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        fieldLines_->addWidget(label);
    }
    fieldBox_->setVisible(!fields_.isEmpty());
}

QString DetailPane::rootOf(const QString& file) const {
    const ScanResultPtr& result = app_.resultView().pages().lists()->result;
    return result ? sourceRootOf(*result, file) : QString();
}

// The picture is decoded off the interface thread, confined to the
// source; until it is there (or when the file holds none) the icon shows.
void DetailPane::showPictureFile(const QString& file) {
    showIcon(pictureFallback_);
    visual_ = Visual::Picture;
    picture_ = QImage();
    loading_ = true;
    decoder_.start([this, file, root = rootOf(file), generation = generation_] {
        const QImage image =
            ThumbnailCache::load(file, root, QSize(kPictureSide * 2, kPictureSide * 2));
        // Queued to the pane, which drains this pool before it goes.
        QMetaObject::invokeMethod(
            this, [this, generation, image] { pictureLoaded(generation, image); },
            Qt::QueuedConnection);
    });
}

void DetailPane::pictureLoaded(uint64_t generation, const QImage& image) {
    if (generation != generation_) {
        return;  // another row is shown by now
    }
    loading_ = false;
    if (image.isNull()) {
        showIcon(pictureFallback_);
    } else {
        showImage(personPicture_ ? avatarOf(image) : fitted(image));
    }
    visual_ = Visual::Picture;
}

void DetailPane::showImage(const QImage& image) {
    visual_ = Visual::Picture;
    picture_ = image;
    pictureLabel_->setPixmap(QPixmap::fromImage(image));
    visuals_->setCurrentWidget(pictureLabel_);
    visuals_->show();
}

void DetailPane::showIcon(const QIcon& icon) {
    visual_ = Visual::FileIcon;
    const QPixmap pixmap = icon.pixmap(QSize(kIconSide, kIconSide));
    picture_ = pixmap.toImage();
    pictureLabel_->setPixmap(pixmap);
    visuals_->setCurrentWidget(pictureLabel_);
    visuals_->show();
}

// Only a regular file inside the source reached through no link is handed
// to the player, and as the opened file: the player would follow a link.
void DetailPane::showMovie(const QString& file, bool sound) {
    const QString root = rootOf(file);
    if (!confinedFile(file, root)) {
        showIcon(MediaIcons::of(sound ? MediaBrowserModel::Kind::Audio
                                      : MediaBrowserModel::Kind::Video));
        return;
    }
    if (player_ == nullptr) {
        player_ = new QMediaPlayer(this);
        audio_ = new QAudioOutput(this);
        player_->setAudioOutput(audio_);
        player_->setVideoOutput(video_);
        connect(player_, &QMediaPlayer::playbackStateChanged, this,
                [this](QMediaPlayer::PlaybackState state) {
                    const bool playing = state == QMediaPlayer::PlayingState;
                    playButton_->setIcon(playing ? MediaIcons::pause() : MediaIcons::play());
                    playButton_->setToolTip(playing ? tr("Pause") : tr("Play"));
                    playButton_->setAccessibleName(playButton_->toolTip());
                });
    }
    if (!playConfined(*player_, file, root)) {
        showIcon(MediaIcons::of(sound ? MediaBrowserModel::Kind::Audio
                                      : MediaBrowserModel::Kind::Video));
        return;
    }
    sound_ = sound;
    movieIcon_->setPixmap(
        MediaIcons::of(sound ? MediaBrowserModel::Kind::Audio : MediaBrowserModel::Kind::Video)
            .pixmap(QSize(kIconSide, kIconSide)));
    movieScreen_->setCurrentWidget(movieIcon_);
    visual_ = Visual::Movie;
    visuals_->setCurrentWidget(moviePage_);
    visuals_->show();
}

void DetailPane::togglePlaying() {
    if (player_ == nullptr || player_->source().isEmpty()) {
        return;
    }
    if (player_->playbackState() == QMediaPlayer::PlayingState) {
        player_->pause();
    } else {
        if (!sound_) {
            movieScreen_->setCurrentWidget(video_);
        }
        player_->play();
    }
}

void DetailPane::hideEvent(QHideEvent* event) {
    if (player_ != nullptr) {
        player_->pause();
    }
    QWidget::hideEvent(event);
}

}  // namespace vessamo::gui
