#include "platform/mci/sequencer/sequencer_device.h"

// Before Qt's headers, whose emit macro would eat the chase's emit().
#include "platform/midi/player.h"

#include "platform/mci/sequencer/lyrics_window.h"
#include "platform/midi/words.h"

#include <QApplication>
#include <QFile>
#include <QThread>

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

QString windowTitle(const std::string& path, const midi::Words& words)
{
    if (!words.title.empty())
        return QString::fromStdString(words.title);
    const auto slash = path.find_last_of('/');
    return QFile::decodeName(QByteArray::fromStdString(slash == std::string::npos ? path : path.substr(slash + 1)));
}

// The words have a window only in the program's windows, on their thread.
bool windowsRunning()
{
    const auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    return app && QThread::currentThread() == app->thread();
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
        auto words = std::make_shared<const midi::Words>(midi::readWords(*song));
        player_ = std::make_unique<midi::Player>(std::move(song), std::move(output));
        text_ = {words->title, words->text};
        if (!words->empty() && choices_.showWords && windowsRunning()) {
            midi::Player* player = player_.get();
            window_.reset(new sequencer::LyricsWindow(
                windowTitle(path, *words), words, [player] { return player->positionMicros(); }));
        }
        passEndNotify();
        return Result::success();
    }

    void close() override
    {
        player_.reset(); // its thread tells the window of the end: goes first
        window_.reset();
        text_ = {};
    }

    Result play() override
    {
        if (!player_)
            return noSong();
        player_->play();
        if (window_)
            window_->playing();
        return Result::success();
    }

    Result pause() override
    {
        if (!player_)
            return noSong();
        player_->pause();
        if (window_)
            window_->halted();
        return Result::success();
    }

    Result resume() override
    {
        if (!player_)
            return noSong();
        if (player_->state() != midi::Sequence::State::Paused)
            return Result::failure(ErrUnsupportedFunction, "The sequencer is not paused.");
        return play();
    }

    Result stop() override
    {
        if (!player_)
            return noSong();
        player_->stop();
        if (window_)
            window_->stopped();
        return Result::success();
    }

    Result seek(uint32_t position) override
    {
        if (!player_)
            return noSong();
        player_->seekMicros(uint64_t{position} * 1000);
        if (window_)
            window_->halted();
        return Result::success();
    }

    Result seekToStart() override { return seek(0); }

    Result seekToEnd() override
    {
        if (!player_)
            return noSong();
        player_->seekToEnd();
        if (window_)
            window_->halted();
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
        passEndNotify();
    }

    TrackText text() override { return text_; }

private:
    // The window hears of the end on its own thread; the player's thread ends
    // before the window goes, so it is there to be told.
    void passEndNotify()
    {
        if (!player_)
            return;
        sequencer::LyricsWindow* window = window_.get();
        player_->setEndNotify([window, notify = notify_] {
            if (window)
                QMetaObject::invokeMethod(
                    window, [window] { window->stopped(); }, Qt::QueuedConnection);
            if (notify)
                notify();
        });
    }

    static Result noSong() { return Result::failure(ErrDeviceNotReady, "No MIDI file is open on the sequencer."); }

    multimedia::Choices choices_;
    std::function<void()> notify_;
    std::unique_ptr<midi::Player> player_;
    std::unique_ptr<sequencer::LyricsWindow, sequencer::LyricsWindow::Disposer> window_;
    TrackText text_;
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
