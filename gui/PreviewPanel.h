#pragma once

#include <QDialog>
#include <QImage>
#include <QString>
#include <cstdint>

#include "app/OrlendoAppDelegate.h"
#include "common/Worker.h"
#include "export/ExportReport.h"
#include "results/ResultViewState.h"

class QLabel;
class QMediaPlayer;
class QAudioOutput;
class QPushButton;
class QStackedWidget;
class QVideoWidget;

namespace vessamo::gui {

class VoiceNotePlayer;

// A larger look at one file of the results: a picture scaled to fit, a film
// or a sound in a player, anything else by its name; with a Save command
// that copies the file to the user's desktop folder and closes the panel.
// A file of that name already there is kept, and the person is told.
class PreviewPanel : public QDialog {
    Q_OBJECT

public:
    enum class Look { Picture, Movie, Sound, Other };

    explicit PreviewPanel(OrlendoAppDelegate& app, QWidget* parent = nullptr);
    ~PreviewPanel() override;

    // Opens the panel on a file of the source.
    void preview(const QString& filePath, const QString& displayName);
    // The Save command: closes the panel and copies the file.
    void save();

    [[nodiscard]] Look look() const { return look_; }
    [[nodiscard]] const QString& filePath() const { return filePath_; }
    [[nodiscard]] const QString& displayName() const { return displayName_; }
    // The picture shown once decoded (null before, or for other files).
    [[nodiscard]] const QImage& picture() const { return picture_; }
    [[nodiscard]] QPushButton* saveButton() const { return save_; }
    [[nodiscard]] QPushButton* playButton() const { return play_; }
    // The film's player, once a film has played; nullptr before.
    [[nodiscard]] QMediaPlayer* moviePlayer() const { return movie_; }
    [[nodiscard]] VoiceNotePlayer* soundPlayer() const { return sound_; }
    // Where Save puts a file of that name.
    [[nodiscard]] static QString desktopPathFor(const QString& displayName);
    [[nodiscard]] static Look lookOf(const QString& name);

signals:
    // A save has ended: written, or why not (the person was told).
    void saveFinished(const QString& target, bool written);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void done(int result) override;

private:
    void showPicture(uint64_t generation, const QImage& image);
    void showScaledPicture();
    void togglePlaying();
    QMediaPlayer* ensureMoviePlayer();
    void updatePlayButton();
    void saved(const QString& name, const ExportReport& report);
    void tell(const QString& text, const QString& detail);

    // The source folder the file is read inside.
    [[nodiscard]] QString rootOf(const QString& file) const;

    OrlendoAppDelegate& app_;
    QString filePath_;
    QString displayName_;
    Look look_ = Look::Other;
    QImage picture_;
    QLabel* name_;
    QStackedWidget* body_;
    QLabel* image_;
    QVideoWidget* video_;
    QLabel* other_;
    QPushButton* play_;
    QPushButton* save_;
    QMediaPlayer* movie_ = nullptr;
    QAudioOutput* movieSound_ = nullptr;
    VoiceNotePlayer* sound_;
    uint64_t generation_ = 0;  // a late picture of an earlier file is dropped
    WorkerSet loads_;
    WorkerSet copies_;  // last: joined before the rest goes
};

}  // namespace vessamo::gui
