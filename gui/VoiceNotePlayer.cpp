#include "VoiceNotePlayer.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QMetaObject>
#include <cstring>
#include <utility>

#include "MediaSourceRoot.h"
#include "app/OrlendoAppDelegate.h"
#include "common/ConfinedFiles.h"
#include "common/Files.h"
#include "common/ScratchFolder.h"

namespace vessamo::gui {

namespace {

// Voice notes are a few minutes at most; anything larger is not read to
// learn its length.
constexpr uint64_t kLargestNoteBytes = 16ull * 1024 * 1024;
constexpr int64_t kOpusRate = 48000;  // granule positions count 48 kHz samples

// The decoder is a separate program that would open a path, links and
// all: it is given a private copy of the note, read inside its source
// without following one. The copy keeps the note's name, which names the
// wav, and goes with its folder once the decoder is done.
WavConversion convertCopy(const PathWithin& note, const VoiceNotePlayer::Converter& decode) {
    const StatusOr<std::string> bytes = readWholeFile(note, kLargestNoteBytes);
    std::optional<ScratchFolder> scratch = ScratchFolder::create("vessamo-note");
    if (!bytes.ok() || !scratch) {
        return {};
    }
    const std::string copy = scratch->path() + "/" + safeFileName(lastComponent(note.path));
    if (!writeFileAtomically(copy, *bytes, WriteMode::replace, Flush::none).ok()) {
        return {};
    }
    return decode(copy);
}

uint64_t littleEndian(const std::string& bytes, size_t at, size_t width) {
    uint64_t value = 0;
    for (size_t i = 0; i < width; ++i) {
        value |= uint64_t(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    }
    return value;
}

}  // namespace

VoiceNotePlayer::VoiceNotePlayer(QObject* parent) : QObject(parent) {}

// Made when something first plays: the audio output opens the desktop's
// sound service, which a conversation nobody listens to has no need of.
QMediaPlayer* VoiceNotePlayer::ensurePlayer() {
    if (player_ != nullptr) {
        return player_;
    }
    player_ = new QMediaPlayer(this);
    audio_ = new QAudioOutput(this);

    player_->setAudioOutput(audio_);
    connect(player_, &QMediaPlayer::playbackStateChanged, this,
            [this](QMediaPlayer::PlaybackState playback) {
                if (state_ == State::Converting || state_ == State::Failed ||
                    state_ == State::WaitingForDecoder) {
                    return;
                }
                switch (playback) {
                    case QMediaPlayer::PlayingState:
                        setState(State::Playing);
                        break;
                    case QMediaPlayer::PausedState:
                        setState(State::Paused);
                        break;
                    case QMediaPlayer::StoppedState:
                        setState(State::Idle);
                        break;
                }
            });
    connect(player_, &QMediaPlayer::errorOccurred, this, [this] {
        if (state_ != State::Converting) {
            setState(State::Failed);
        }
    });
    connect(player_, &QMediaPlayer::durationChanged, this, [this] { emit changed(file_); });
    connect(player_, &QMediaPlayer::positionChanged, this, [this] { emit changed(file_); });
    return player_;
}

VoiceNotePlayer::~VoiceNotePlayer() {
    // The conversion does not look at its stop token: it ends with the
    // decoder, which its own time limit bounds.
    conversion_.stopAndJoin();
}

VoiceNotePlayer::Converter VoiceNotePlayer::converter() const {
    if (converter_) {
        return converter_;
    }
    if (OrlendoAppDelegate* app = OrlendoAppDelegate::GetAppControllor()) {
        VoiceNoteCommands* notes = &app->voiceNotes();
        return [notes](const std::string& opus) { return notes->ConvertOPUStoWAVFileFormat(opus); };
    }
    return [](const std::string& opus) { return vessamo::ConvertOPUStoWAVFileFormat(opus); };
}

bool VoiceNotePlayer::needsConversion(const QString& file, const QString& name) {
    const auto isOpus = [](const QString& path) {
        return QFileInfo(path).suffix().compare(u"opus", Qt::CaseInsensitive) == 0;
    };
    return isOpus(name) || isOpus(file);
}

void VoiceNotePlayer::toggle(const QString& file, const QString& name, const QString& root) {
    if (file.isEmpty()) {
        return;
    }
    if (file == file_) {
        switch (state_) {
            case State::Playing:
                ensurePlayer()->pause();
                return;
            case State::Paused:
                ensurePlayer()->play();
                return;
            case State::Converting:
                return;  // it plays once converted
            case State::Idle:
            case State::WaitingForDecoder:
            case State::Failed:
                break;
        }
    }
    if (player_ != nullptr) {
        releaseSource(*player_);
    }
    const QString previous = std::exchange(file_, file);
    root_ = root;
    state_ = State::Idle;
    if (previous != file) {
        emit changed(previous);  // its row shows the play button again
    }
    ++generation_;
    if (needsConversion(file, name)) {
        convert(file);
    } else if (playConfined(*ensurePlayer(), file, root)) {
        startPlaying();
    } else {
        setState(State::Failed);
    }
}

void VoiceNotePlayer::stop() {
    ++generation_;
    waiting_.clear();
    if (player_ != nullptr) {
        player_->stop();
    }
    setState(State::Idle);
}

void VoiceNotePlayer::convert(const QString& file) {
    setState(State::Converting);
    if (conversion_.running()) {
        waiting_ = file;  // started when the running one hands over
        return;
    }
    conversion_.join();
    conversion_.start([this, generation = generation_,
                       note = PathWithin{root_.toStdString(), file.toStdString()},
                       decode = converter()](const std::stop_token& stop) {
        const WavConversion conversion = convertCopy(note, decode);
        if (stop.stop_requested()) {
            return;
        }
        QMetaObject::invokeMethod(
            this, [this, generation, conversion] { converted(generation, conversion); },
            Qt::QueuedConnection);
    });
}

void VoiceNotePlayer::converted(uint64_t generation, const WavConversion& conversion) {
    if (!waiting_.isEmpty()) {
        const QString next = std::exchange(waiting_, QString());
        if (next == file_) {
            convert(next);
            return;
        }
    }
    if (generation != generation_) {
        return;
    }
    const QString wav = QString::fromStdString(conversion.path);
    if (conversion.awaitingTool || wav.isEmpty() || !QFileInfo(wav).isFile()) {
        // No decoder yet (it is being fetched), or it failed: nothing to play.
        setState(conversion.awaitingTool ? State::WaitingForDecoder : State::Failed);
        return;
    }
    // The wav is the program's own file, made from the copy.
    ensurePlayer()->setSource(QUrl::fromLocalFile(wav));
    startPlaying();
}

void VoiceNotePlayer::startPlaying() {
    state_ = State::Idle;  // the player's own state from here on
    player_->play();
    if (player_->playbackState() != QMediaPlayer::PlayingState && state_ == State::Idle) {
        // The backend starts asynchronously; the person sees it started.
        setState(player_->error() == QMediaPlayer::NoError ? State::Playing : State::Failed);
    }
}

void VoiceNotePlayer::setState(State state) {
    if (state_ == state) {
        return;
    }
    state_ = state;
    emit changed(file_);
}

QUrl VoiceNotePlayer::source() const {
    return player_ != nullptr ? player_->source() : QUrl();
}

std::chrono::milliseconds VoiceNotePlayer::position() const {
    return std::chrono::milliseconds(player_ != nullptr ? player_->position() : 0);
}

std::chrono::milliseconds VoiceNotePlayer::duration() const {
    return std::chrono::milliseconds(player_ != nullptr ? player_->duration() : 0);
}

std::optional<std::chrono::milliseconds> VoiceNotePlayer::opusDuration(const QString& file,
                                                                       const QString& root) {
    const StatusOr<std::string> read =
        readWholeFile(PathWithin{root.toStdString(), file.toStdString()}, kLargestNoteBytes);
    if (!read.ok()) {
        return std::nullopt;
    }
    const std::string& bytes = read.value();
    // The first page holds the identification header: "OpusHead", version,
    // channels, then the samples to skip at the start.
    constexpr size_t kHeaderAt = 28;  // a first page of one segment
    if (bytes.size() < kHeaderAt + 12 || bytes.compare(0, 4, "OggS") != 0 ||
        bytes.compare(kHeaderAt, 8, "OpusHead") != 0) {
        return std::nullopt;
    }
    const auto preSkip = static_cast<int64_t>(littleEndian(bytes, kHeaderAt + 10, 2));
    // The last page's granule position counts every sample up to its end.
    // "OggS" may occur inside audio data too: the page taken is the one
    // whose header and segments end exactly where the file ends.
    size_t last = std::string::npos;
    for (size_t at = bytes.rfind("OggS"); at != std::string::npos && at > 0;
         at = bytes.rfind("OggS", at - 1)) {
        if (at + 27 > bytes.size() || bytes[at + 4] != 0) {
            continue;
        }
        const size_t segments = static_cast<unsigned char>(bytes[at + 26]);
        if (at + 27 + segments > bytes.size()) {
            continue;
        }
        size_t body = 0;
        for (size_t i = 0; i < segments; ++i) {
            body += static_cast<unsigned char>(bytes[at + 27 + i]);
        }
        if (at + 27 + segments + body == bytes.size()) {
            last = at;
            break;
        }
    }
    if (last == std::string::npos) {
        return std::nullopt;
    }
    const auto granule = static_cast<int64_t>(littleEndian(bytes, last + 6, 8));
    if (granule < preSkip) {
        return std::nullopt;
    }
    return std::chrono::milliseconds((granule - preSkip) * 1000 / kOpusRate);
}

QString VoiceNotePlayer::durationText(std::chrono::milliseconds length) {
    const long long seconds = (length.count() + 500) / 1000;
    if (seconds >= 3600) {
        return QStringLiteral("%1:%2:%3")
            .arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
            .arg(seconds % 60, 2, 10, QChar(u'0'));
    }
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar(u'0'));
}

}  // namespace vessamo::gui
