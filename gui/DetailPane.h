#pragma once

#include <QImage>
#include <QStringList>
#include <QThreadPool>
#include <QWidget>
#include <cstdint>

#include "app/OrlendoAppDelegate.h"
#include "results/ResultViewState.h"

class QAudioOutput;
class QLabel;
class QMediaPlayer;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;
class QVideoWidget;

namespace vessamo {
struct RowDetails;
}

namespace vessamo::gui {

// What the selected row of the media, contacts, WhatsApp contacts or calls
// list holds: picture or player, and the labelled fields.
class DetailPane : public QWidget {
    Q_OBJECT

public:
    // What the pane shows above the fields.
    enum class Visual { None, Picture, Movie, Text, FileIcon };

    explicit DetailPane(OrlendoAppDelegate& app, QWidget* parent = nullptr);
    ~DetailPane() override;
    // Shows the pages' details of the selected row of that list.
    void showDetails(ResultCategory category);

    [[nodiscard]] Visual visual() const { return visual_; }
    // The bold first line (a person's name), or empty.
    [[nodiscard]] QString title() const;
    // The labelled lines below it, empty ones left out.
    [[nodiscard]] QStringList fields() const { return fields_; }
    // The picture in sight (a decoded file, the contact's picture or the
    // application's own image); null while a file is still being decoded.
    [[nodiscard]] QImage picture() const { return picture_; }
    [[nodiscard]] bool pictureLoading() const { return loading_; }
    // A card's or place's own text.
    [[nodiscard]] QString text() const;
    // The player of a film or sound file; nullptr until one was shown.
    [[nodiscard]] QMediaPlayer* player() const { return player_; }
    [[nodiscard]] QPushButton* previewButton() const { return previewButton_; }
    [[nodiscard]] QToolButton* playButton() const { return playButton_; }

signals:
    void previewRequested(const QString& filePath, const QString& displayName);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void buildLayout();
    void clear();
    void showResource(const RowDetails& details, size_t row);
    void showPerson(const RowDetails& details, ResultCategory category);
    void showCall(size_t row);
    void setFields(const std::vector<std::string>& lines, bool firstIsTitle);
    void showPictureFile(const QString& file);
    void showImage(const QImage& image);
    void showIcon(const QIcon& icon);
    void showMovie(const QString& file, bool sound);
    void pictureLoaded(uint64_t generation, const QImage& image);
    void togglePlaying();
    [[nodiscard]] QString rootOf(const QString& file) const;

    OrlendoAppDelegate& app_;
    QStackedWidget* visuals_;
    QLabel* pictureLabel_;
    QWidget* moviePage_;
    QStackedWidget* movieScreen_;  // the film while it plays, else its kind's icon
    QVideoWidget* video_;
    QLabel* movieIcon_;
    QToolButton* playButton_;
    QPlainTextEdit* textView_;
    QLabel* titleLabel_;
    QWidget* fieldBox_;
    QVBoxLayout* fieldLines_;
    QPushButton* previewButton_;
    QLabel* placeholder_;
    QMediaPlayer* player_ = nullptr;  // made when the first film is shown
    QAudioOutput* audio_ = nullptr;
    bool sound_ = false;  // the player holds a sound file: no picture to show

    Visual visual_ = Visual::None;
    QString title_;
    QStringList fields_;
    QImage picture_;
    bool loading_ = false;
    bool personPicture_ = false;  // shown round
    uint64_t generation_ = 0;     // a picture decoded for an earlier row is dropped
    QIcon pictureFallback_;       // shown when the file holds no picture
    QString previewFile_;
    QString previewName_;
    QThreadPool decoder_;  // last: drained before the rest goes
};

}  // namespace vessamo::gui
