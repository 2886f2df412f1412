#include "PreviewPanel.h"

#include <QAudioOutput>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaPlayer>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QVideoWidget>
#include <vector>

#include "MediaSourceRoot.h"
#include "Theme.h"
#include "ThumbnailCache.h"
#include "VoiceNotePlayer.h"
#include "common/Files.h"
#include "common/UserPaths.h"
#include "export/MediaExports.h"

namespace vessamo::gui {

namespace {

// Large enough for any screen the panel fits on; larger pictures are
// scaled down while they are read.
constexpr QSize kLargestPicture(2560, 2560);

// The folders a shown file may lie in: the source of the result on the
// pages (a backup, a Timeline backup or an unpacked iCloud archive).
std::vector<QString> sourceRootsOf(OrlendoAppDelegate& app) {
    std::vector<QString> roots;
    const ResultListsPtr& lists = app.resultView().pages().lists();
    if (!lists || !lists->result) {
        return roots;
    }
    for (const std::string* root :
         {&lists->result->folder, &lists->result->fullTimelinPath, &lists->result->tempfilePath}) {
        if (!root->empty()) {
            roots.push_back(QString::fromStdString(*root));
        }
    }
    return roots;
}

}  // namespace

PreviewPanel::PreviewPanel(OrlendoAppDelegate& app, QWidget* parent)
    : QDialog(parent),
      app_(app),
      name_(new QLabel(this)),
      body_(new QStackedWidget(this)),
      image_(new QLabel(body_)),
      video_(new QVideoWidget(body_)),
      other_(new QLabel(body_)),
      play_(new QPushButton(this)),
      save_(new QPushButton(tr("Save"), this)),
      sound_(new VoiceNotePlayer(this)) {
    setObjectName("previewPanel");
    setWindowModality(Qt::WindowModal);
    name_->setObjectName("previewName");
    name_->setFont(Theme::titleFont(font()));
    name_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    image_->setObjectName("previewImage");
    image_->setAlignment(Qt::AlignCenter);
    image_->setMinimumSize(160, 120);
    video_->setObjectName("previewVideo");
    other_->setObjectName("previewOther");
    other_->setAlignment(Qt::AlignCenter);
    other_->setWordWrap(true);
    Theme::makeMuted(other_);
    body_->addWidget(image_);
    body_->addWidget(video_);
    body_->addWidget(other_);

    play_->setObjectName("previewPlay");
    connect(play_, &QPushButton::clicked, this, &PreviewPanel::togglePlaying);
    connect(sound_, &VoiceNotePlayer::changed, this, &PreviewPanel::updatePlayButton);
    save_->setObjectName("previewSave");
    save_->setIcon(Theme::themedIcon("document-save", QString()));
    save_->setToolTip(tr("Copies the file to your Desktop folder"));
    Theme::makePrimary(save_);
    connect(save_, &QPushButton::clicked, this, &PreviewPanel::save);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(save_, QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* controls = new QHBoxLayout;
    controls->setSpacing(Theme::relatedSpacing);
    controls->addWidget(play_);
    controls->addStretch(1);
    controls->addWidget(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(Theme::windowMargin, Theme::windowMargin, Theme::windowMargin,
                               Theme::windowMargin);
    layout->setSpacing(Theme::relatedSpacing);
    layout->addWidget(name_);
    layout->addWidget(body_, 1);
    layout->addLayout(controls);
    resize(720, 560);
}

PreviewPanel::~PreviewPanel() = default;

QString PreviewPanel::rootOf(const QString& file) const {
    const ResultListsPtr& lists = app_.resultView().pages().lists();
    return lists && lists->result ? sourceRootOf(*lists->result, file) : QString();
}

PreviewPanel::Look PreviewPanel::lookOf(const QString& name) {
    const QString extension = QFileInfo(name).suffix().toLower();
    static const QStringList pictures = {"jpg", "jpeg", "png", "gif", "thumb", "webp", "bmp"};
    static const QStringList movies = {"mp4", "mov", "m4v", "3gp", "webm", "mkv", "avi"};
    static const QStringList sounds = {"opus", "m4a", "aac", "mp3", "wav", "ogg", "amr"};
    if (pictures.contains(extension)) {
        return Look::Picture;
    }
    if (movies.contains(extension)) {
        return Look::Movie;
    }
    if (sounds.contains(extension)) {
        return Look::Sound;
    }
    return Look::Other;
}

QString PreviewPanel::desktopPathFor(const QString& displayName) {
    return QString::fromStdString(UserPaths::userFolder() + "/desktop/" +
                                  safeFileName(displayName.toStdString()));
}

// Made when a film first plays: the audio output opens the desktop's sound
// service, which looking at pictures has no need of.
QMediaPlayer* PreviewPanel::ensureMoviePlayer() {
    if (movie_ == nullptr) {
        movie_ = new QMediaPlayer(this);
        movieSound_ = new QAudioOutput(this);
        movie_->setVideoOutput(video_);
        movie_->setAudioOutput(movieSound_);
        connect(movie_, &QMediaPlayer::playbackStateChanged, this, &PreviewPanel::updatePlayButton);
    }
    return movie_;
}

void PreviewPanel::preview(const QString& filePath, const QString& displayName) {
    if (movie_ != nullptr) {
        releaseSource(*movie_);
    }
    sound_->stop();
    filePath_ = filePath;
    displayName_ = displayName.isEmpty() ? QFileInfo(filePath).fileName() : displayName;
    // Backup files are named by their key: the stored name tells the kind.
    look_ = lookOf(displayName_) != Look::Other ? lookOf(displayName_) : lookOf(filePath);
    picture_ = QImage();
    image_->clear();
    name_->setText(displayName_);
    setWindowTitle(displayName_);
    const uint64_t generation = ++generation_;
    switch (look_) {
        case Look::Picture:
            image_->setText(tr("Loading the picture…"));
            body_->setCurrentWidget(image_);
            loads_.start([this, generation, file = filePath,
                          roots = sourceRootsOf(app_)](const std::stop_token& stop) {
                QImage image;
                for (const QString& root : roots) {
                    image = ThumbnailCache::load(file, root, kLargestPicture);
                    if (!image.isNull() || stop.stop_requested()) {
                        break;
                    }
                }
                QMetaObject::invokeMethod(
                    this, [this, generation, image] { showPicture(generation, image); },
                    Qt::QueuedConnection);
            });
            break;
        case Look::Movie:
            body_->setCurrentWidget(video_);
            break;
        case Look::Sound:
        case Look::Other:
            other_->setPixmap(QPixmap());
            other_->setText(look_ == Look::Sound
                                ? tr("A sound file. Press Play to listen to it.")
                                : tr("There is no preview for this kind of file. Save keeps a "
                                     "copy on your Desktop."));
            body_->setCurrentWidget(other_);
            break;
    }
    updatePlayButton();
    QDialog::open();
}

void PreviewPanel::showPicture(uint64_t generation, const QImage& image) {
    if (generation != generation_) {
        return;
    }
    picture_ = image;
    if (picture_.isNull()) {
        image_->setText(tr("This picture cannot be shown."));
        return;
    }
    showScaledPicture();
}

void PreviewPanel::showScaledPicture() {
    if (picture_.isNull()) {
        return;
    }
    const qreal ratio = devicePixelRatioF();
    QSize room = body_->size() * ratio;
    // Small pictures are not blown up; large ones fit the room.
    QPixmap pixmap = QPixmap::fromImage(
        picture_.width() <= room.width() && picture_.height() <= room.height()
            ? picture_
            : picture_.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(ratio);
    image_->setPixmap(pixmap);
}

void PreviewPanel::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    showScaledPicture();
}

void PreviewPanel::togglePlaying() {
    if (look_ == Look::Movie) {
        QMediaPlayer* movie = ensureMoviePlayer();
        if (movie->source().isEmpty() && !playConfined(*movie, filePath_, rootOf(filePath_))) {
            other_->setText(tr("This film cannot be played."));
            body_->setCurrentWidget(other_);
            return;
        }
        if (movie->playbackState() == QMediaPlayer::PlayingState) {
            movie->pause();
        } else {
            movie->play();
        }
    } else if (look_ == Look::Sound) {
        sound_->toggle(filePath_, displayName_, rootOf(filePath_));
    }
    updatePlayButton();
}

void PreviewPanel::updatePlayButton() {
    const bool playable = look_ == Look::Movie || look_ == Look::Sound;
    play_->setVisible(playable);
    const bool playing = look_ == Look::Movie ? movie_ != nullptr && movie_->playbackState() ==
                                                                         QMediaPlayer::PlayingState
                                              : sound_->state() == VoiceNotePlayer::State::Playing;
    play_->setText(playing ? tr("Pause") : tr("Play"));
    play_->setIcon(playing ? Theme::themedIcon("media-playback-pause", QString())
                           : Theme::themedIcon("media-playback-start", QString()));
}

// Closing the panel stops what plays in it.
void PreviewPanel::done(int result) {
    if (movie_ != nullptr) {
        movie_->stop();
    }
    sound_->stop();
    QDialog::done(result);
}

void PreviewPanel::save() {
    const QString file = filePath_;
    const QString name = displayName_;
    accept();
    if (file.isEmpty()) {
        return;
    }
    // A film can be large: it is copied on a worker, the window goes on.
    copies_.start([this, file, name](const std::stop_token& stop) {
        const ExportReport report = ExportPreviewContent(file.toStdString(), name.toStdString());
        if (stop.stop_requested()) {
            return;
        }
        QMetaObject::invokeMethod(
            this, [this, name, report] { saved(name, report); }, Qt::QueuedConnection);
    });
}

void PreviewPanel::saved(const QString& name, const ExportReport& report) {
    const QString target = desktopPathFor(name);
    if (report.filesWritten > 0) {
        emit saveFinished(target, true);
        return;
    }
    if (report.failures.empty()) {
        // The file there is the person's own; it is never replaced.
        tell(tr("“%1” is already on your Desktop.").arg(QFileInfo(target).fileName()),
             tr("The file that is there was kept as it is, and nothing was saved over it. "
                "Move or rename it, then save again."));
    } else {
        tell(tr("“%1” could not be saved to your Desktop.").arg(QFileInfo(target).fileName()),
             QString::fromStdString(report.failures.front()));
    }
    emit saveFinished(target, false);
}

void PreviewPanel::tell(const QString& text, const QString& detail) {
    QWidget* window = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    auto* box =
        new QMessageBox(QMessageBox::Information, tr("Save"), text, QMessageBox::Ok, window);
    box->setObjectName("previewSaveAlert");
    box->setInformativeText(detail);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(window != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    box->open();
}

}  // namespace vessamo::gui
