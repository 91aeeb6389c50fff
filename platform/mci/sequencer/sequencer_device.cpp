#include "platform/mci/sequencer/sequencer_device.h"

#include "platform/midi/player.h"

namespace mci {

namespace {

Result loaded(const std::string& path, midi::Song& song)
{
    std::string error;
    switch (midi::loadSong(path, song, error)) {
    case midi::LoadError::None:
        return Result::success();
    case midi::LoadError::NotFound:
        return Result::failure(ErrFileNotFound, error);
    case midi::LoadError::Unreadable:
        return Result::failure(ErrFileRead, error);
    case midi::LoadError::Invalid:
        return Result::failure(ErrInvalidFile, error);
    }
    return Result::failure(ErrInvalidFile, error);
}

class SequencerDevice final : public Device {
public:
    explicit SequencerDevice(multimedia::Choices choices) : choices_(std::move(choices)) { }
    ~SequencerDevice() override { close(); }

    Result open(const std::string& path) override
    {
        close();
        if (path.empty())
            return Result::success();
        auto song = std::make_shared<midi::Song>();
        if (Result r = loaded(path, *song); !r.ok())
            return r;
        std::string error;
        std::shared_ptr<midi::Output> output
            = midi::sharedOutput(choices_, error, audio::fileLabel(path, audio::Role::Music));
        if (!output)
            return Result::failure(ErrHardware, error);
        player_ = std::make_unique<midi::Player>(std::move(song), std::move(output));
        player_->setEndNotify(notify_);
        return Result::success();
    }

    void close() override { player_.reset(); }

    Result play() override
    {
        if (!player_)
            return noSong();
        player_->play();
        return Result::success();
    }

    Result pause() override
    {
        if (!player_)
            return noSong();
        player_->pause();
        return Result::success();
    }

    Result resume() override
    {
        if (!player_)
            return noSong();
        if (player_->state() != midi::Sequence::State::Paused)
            return Result::failure(ErrUnsupportedFunction, "The sequencer is not paused.");
        player_->play();
        return Result::success();
    }

    Result stop() override
    {
        if (!player_)
            return noSong();
        player_->stop();
        return Result::success();
    }

    Result seek(uint32_t position) override
    {
        if (!player_)
            return noSong();
        player_->seekMicros(uint64_t{position} * 1000);
        return Result::success();
    }

    Result seekToStart() override { return seek(0); }

    Result seekToEnd() override
    {
        if (!player_)
            return noSong();
        player_->seekToEnd();
        return Result::success();
    }

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
        case midi::Sequence::State::Playing: return Mode::Playing;
        case midi::Sequence::State::Paused: return Mode::Paused;
        case midi::Sequence::State::Stopped: break;
        }
        return Mode::Stopped;
    }

    void setEndNotify(std::function<void()> notify) override
    {
        notify_ = std::move(notify);
        if (player_)
            player_->setEndNotify(notify_);
    }

private:
    static Result noSong() { return Result::failure(ErrDeviceNotReady, "No MIDI file is open on the sequencer."); }

    multimedia::Choices choices_;
    std::function<void()> notify_;
    std::unique_ptr<midi::Player> player_;
};

} // namespace

std::unique_ptr<Device> makeSequencerDevice(const multimedia::Choices& choices)
{
    return std::make_unique<SequencerDevice>(choices);
}

Result checkSongFile(const std::string& path)
{
    midi::Song song;
    return loaded(path, song);
}

} // namespace mci
