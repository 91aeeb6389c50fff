#include "platform/mci/sequencer/sequencer_device.h"

// Before Qt's headers, whose emit macro would eat the chase's emit().
#include "platform/midi/player.h"
#include "platform/midi/singer_bounds.h"

#include "platform/mci/sequencer/song_loader.h"
#include "platform/mci/singer.h"

#include <QCoreApplication>
#include <QThread>

#include <limits>
#include <optional>
#include <utility>

namespace mci {

namespace {

// A file up to this size is read within the open: that takes milliseconds
// whatever it holds. A bigger one is read on a worker and waited for a
// moment; a song that takes longer comes late.
constexpr uint64_t kReadAtOnceBytes = uint64_t {1} << 20;
constexpr std::chrono::milliseconds kOpenWait {50};
// What the desktop is given of the words: more than any song sings.
constexpr size_t kMostDesktopWords = 256 * 1024;

Result probed(const std::string& path, uint64_t& bytes)
{
    std::string error;
    return sequencer::songResult(midi::probeSong(path, error, bytes), error);
}

// A song read on a worker reaches the device through this thread's event loop.
bool eventLoopHere()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

std::string desktopWords(const std::string& text)
{
    if (text.size() <= kMostDesktopWords)
        return text;
    const size_t end = text.rfind('\n', kMostDesktopWords - 1);
    return text.substr(0, end == std::string::npos ? 0 : end + 1);
}

class SequencerDevice final : public Device, private Singer {
public:
    explicit SequencerDevice(multimedia::Choices choices) : choices_(std::move(choices)) { }
    ~SequencerDevice() override { close(); }

    Result open(const std::string& path) override
    {
        close();
        if (path.empty())
            return Result::success();
        if (!eventLoopHere())
            return adopt(path, sequencer::readSong(path));
        uint64_t bytes = 0;
        if (Result r = probed(path, bytes); !r.ok())
            return r;
        if (bytes <= kReadAtOnceBytes)
            return adopt(path, sequencer::readSong(path));
        load_ = sequencer::SongLoad::start(path, [this, path] { loaded(path); });
        if (!load_->wait(kOpenWait))
            return Result::success(); // not ready until the song comes
        return adopt(path, takeLoad());
    }

    void close() override
    {
        if (load_) {
            load_->drop();
            load_.reset();
        }
        pendingPlay_ = false;
        pendingMicros_.reset();
        player_.reset();
        text_ = {};
        transpose_ = 0;
        tempo_ = 100;
        silenced_ = quiet_ = 0;
        loop_.reset();
        sequencer::letGo(std::move(song_));
        sequencer::letGo(std::move(parts_));
    }

    Result play() override
    {
        if (deferred(true))
            return Result::success();
        if (!player_)
            return noSong();
        player_->play();
        return Result::success();
    }

    Result pause() override
    {
        if (deferred(false))
            return Result::success();
        if (!player_)
            return noSong();
        player_->pause();
        return Result::success();
    }

    Result resume() override
    {
        if (!player_ && !load_)
            return noSong();
        if (!player_ || player_->state() != midi::Sequence::State::Paused)
            return Result::failure(ErrUnsupportedFunction, "The sequencer is not paused.");
        return play();
    }

    Result stop() override
    {
        if (deferred(false))
            return Result::success();
        if (!player_)
            return noSong();
        player_->stop();
        return Result::success();
    }

    Result seek(uint32_t position) override { return seekMicros(uint64_t {position} * 1000); }

    Result seekToStart() override { return seek(0); }

    Result seekToEnd() override { return seekMicros(std::numeric_limits<uint64_t>::max()); }

    Result setTimeFormat(TimeFormat format) override
    {
        if (format == TimeFormat::Frames)
            return Result::failure(ErrUnsupportedFunction, "The sequencer does not count in frames.");
        return Result::success();
    }

    Result length(uint32_t& out) override
    {
        out = player_ ? player_->lengthMs() : 0;
        return Result::success();
    }

    Result position(uint32_t& out) override
    {
        out = player_ ? player_->positionMs() : 0;
        return Result::success();
    }

    Mode mode() override
    {
        if (!player_)
            return Mode::NotReady;
        switch (player_->state()) {
        case midi::Sequence::State::Playing:
            return Mode::Playing;
        case midi::Sequence::State::Paused:
            return Mode::Paused;
        case midi::Sequence::State::Stopped:
            break;
        }
        return Mode::Stopped;
    }

    void setEndNotify(std::function<void()> notify) override
    {
        notify_ = std::move(notify);
        passEndNotify();
    }

    void setReadyNotify(std::function<void(const Result&)> notify) override { readyNotify_ = std::move(notify); }

    TrackText text() override { return text_; }

    Singer* singer() override { return player_ || load_ ? this : nullptr; }

private:
    std::shared_ptr<const SongParts> parts() override { return player_ ? parts_ : nullptr; }

    uint64_t positionMicros() override { return player_ ? player_->positionMicros() : 0; }

    Result setTranspose(int semitones) override
    {
        if (!midi::keyInBounds(semitones))
            return Result::failure(ErrOutOfRange, midi::keyBoundsText());
        if (!player_ && !load_)
            return noSong();
        transpose_ = semitones;
        if (player_)
            player_->setTranspose(semitones);
        return Result::success();
    }

    Result setTempo(int percent) override
    {
        if (!midi::tempoInBounds(percent))
            return Result::failure(ErrOutOfRange, midi::tempoBoundsText());
        if (!player_ && !load_)
            return noSong();
        tempo_ = percent;
        if (player_)
            player_->setTempo(percent);
        return Result::success();
    }

    void setChannels(uint16_t silenced, uint16_t quiet) override
    {
        silenced_ = silenced;
        quiet_ = quiet;
        if (player_) {
            player_->setSilenced(silenced);
            player_->setQuiet(quiet);
        }
    }

    void setLoop(uint64_t begin, uint64_t end) override
    {
        loop_ = {begin, end};
        if (player_)
            player_->setLoop(begin, end);
    }

    void clearLoop() override
    {
        loop_.reset();
        if (player_)
            player_->clearLoop();
    }

    void setMetering(bool on) override
    {
        metering_ = on;
        if (player_)
            player_->setMetering(on);
    }

    std::array<uint8_t, 16> levels() override { return player_ ? player_->levels() : std::array<uint8_t, 16> {}; }

    // The song, read, gets its output and its player.
    Result adopt(const std::string& path, sequencer::LoadedSong song)
    {
        if (!song.result.ok())
            return song.result;
        std::string error;
        std::shared_ptr<midi::Output> output
            = midi::sharedOutput(choices_, error, audio::fileLabel(path, audio::Role::Music));
        if (!output)
            return Result::failure(ErrHardware, error);
        song_ = std::move(song.song);
        parts_ = std::move(song.parts);
        player_ = std::make_unique<midi::Player>(song_, std::move(output));
        // What was set while the song was read.
        player_->setTranspose(transpose_);
        player_->setTempo(tempo_);
        player_->setSilenced(silenced_);
        player_->setQuiet(quiet_);
        player_->setMetering(metering_);
        if (loop_)
            player_->setLoop(loop_->first, loop_->second);
        text_ = {parts_->words->title, desktopWords(parts_->words->text)};
        passEndNotify();
        return Result::success();
    }

    sequencer::LoadedSong takeLoad()
    {
        sequencer::LoadedSong song = load_->take();
        load_->drop();
        load_.reset();
        return song;
    }

    // A song read after its open: what was asked meanwhile happens now.
    void loaded(const std::string& path)
    {
        const Result r = adopt(path, takeLoad());
        if (r.ok() && pendingMicros_)
            seekMicros(*pendingMicros_);
        if (r.ok() && pendingPlay_)
            play();
        pendingPlay_ = false;
        pendingMicros_.reset();
        if (readyNotify_)
            readyNotify_(r);
    }

    // While the song is read, a command only says what happens once it comes.
    bool deferred(bool play)
    {
        if (!load_)
            return false;
        pendingPlay_ = play;
        return true;
    }

    Result seekMicros(uint64_t micros)
    {
        if (deferred(false)) {
            pendingMicros_ = micros;
            return Result::success();
        }
        if (!player_)
            return noSong();
        player_->seekMicros(micros);
        return Result::success();
    }

    void passEndNotify()
    {
        if (player_)
            player_->setEndNotify(notify_);
    }

    static Result noSong() { return Result::failure(ErrDeviceNotReady, "No MIDI file is open on the sequencer."); }

    multimedia::Choices choices_;
    std::function<void()> notify_;
    std::function<void(const Result&)> readyNotify_;
    std::shared_ptr<sequencer::SongLoad> load_; // the song being read on a worker
    bool pendingPlay_ = false;
    std::optional<uint64_t> pendingMicros_;
    // Held here as well, so that a close lets go of them on a worker.
    std::shared_ptr<const midi::Song> song_;
    std::shared_ptr<const SongParts> parts_;
    std::unique_ptr<midi::Player> player_;
    TrackText text_;
    int transpose_ = 0; // semitones
    int tempo_ = 100; // percent
    uint16_t silenced_ = 0, quiet_ = 0; // channels
    bool metering_ = false;
    std::optional<std::pair<uint64_t, uint64_t>> loop_; // microseconds of the song
};

} // namespace

std::unique_ptr<Device> makeSequencerDevice(const multimedia::Choices& choices)
{
    return std::make_unique<SequencerDevice>(choices);
}

// As an open decides at once: a big file by its header, the rest by all of it.
Result checkSongFile(const std::string& path)
{
    uint64_t bytes = 0;
    if (Result r = probed(path, bytes); !r.ok() || bytes > kReadAtOnceBytes)
        return r;
    midi::Song song;
    std::string error;
    return sequencer::songResult(midi::loadSong(path, song, error), error);
}

} // namespace mci
