#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/Worker.h"
#include "export/OpusConversion.h"

class QAudioOutput;
class QMediaPlayer;

namespace vessamo::gui {

// Plays the sound files of a conversation, one at a time. WhatsApp's voice
// notes are Ogg Opus, which the desktop's players may not read: they are
// turned into wav first, on a worker, by the program's opus conversion.
// Other sound files play as they are. Whether a sound card is there does
// not matter to anything but the ears.
class VoiceNotePlayer : public QObject {
    Q_OBJECT

public:
    enum class State { Idle, Converting, WaitingForDecoder, Playing, Paused, Failed };
    // Turns a voice note into a wav file to play; runs on a worker.
    using Converter = std::function<WavConversion(const std::string& opusPath)>;

    explicit VoiceNotePlayer(QObject* parent = nullptr);
    ~VoiceNotePlayer() override;

    // The conversion used; by default the running program's voice-note
    // commands (which fetch a missing decoder), else a plain conversion.
    void setConverter(Converter converter) { converter_ = std::move(converter); }

    // The play control of a sound file was used: starts it, or pauses and
    // resumes it when it is the one playing. name is the stored file name,
    // which tells a voice note when the file in the backup has no extension.
    // The file is only read inside root (the source folder it lies in),
    // without following a link.
    void toggle(const QString& file, const QString& name, const QString& root);
    void stop();

    [[nodiscard]] const QString& currentFile() const { return file_; }
    [[nodiscard]] State state() const { return state_; }
    [[nodiscard]] State stateOf(const QString& file) const {
        return file == file_ ? state_ : State::Idle;
    }
    // What the player was given to play: the wav of a voice note, or the file.
    [[nodiscard]] QUrl source() const;
    [[nodiscard]] std::chrono::milliseconds position() const;
    [[nodiscard]] std::chrono::milliseconds duration() const;
    // The player, once something has played; nullptr before.
    [[nodiscard]] QMediaPlayer* player() const { return player_; }

    // True for a voice note the player converts first.
    [[nodiscard]] static bool needsConversion(const QString& file, const QString& name);
    // The length of an Ogg Opus file from its last page, without decoding;
    // nullopt when the file is not one, or is no regular file inside root
    // reached without a link (an empty root: the file's own folder).
    [[nodiscard]] static std::optional<std::chrono::milliseconds> opusDuration(
        const QString& file, const QString& root = {});
    // "m:ss" (or "h:mm:ss").
    [[nodiscard]] static QString durationText(std::chrono::milliseconds length);

signals:
    // The state, position or length of the file changed.
    void changed(const QString& file);

private:
    void setState(State state);
    void convert(const QString& file);
    void converted(uint64_t generation, const WavConversion& conversion);
    void startPlaying();
    [[nodiscard]] Converter converter() const;
    QMediaPlayer* ensurePlayer();

    Converter converter_;
    QMediaPlayer* player_ = nullptr;
    QAudioOutput* audio_ = nullptr;
    QString file_;
    QString root_;  // the source folder file_ lies in
    State state_ = State::Idle;
    uint64_t generation_ = 0;  // a conversion for a file no longer wanted is dropped
    QString waiting_;          // asked for while another note was converted
    Worker conversion_;        // last: joined before the rest goes
};

}  // namespace vessamo::gui
