#include "playback/playback_session.h"

#include "platform/mci/singer.h"
#include "platform/memory/song_memory.h"
#include "platform/multimedia/choices.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace {

const int kMidiPause = 1500;

} // namespace

PlaybackSession::PlaybackSession(SessionSetup setup, QObject* parent) : QObject(parent), setup_(std::move(setup))
{
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, [this] { attempt([this] { tick(); }); });
    midiPause_.setSingleShot(true);
    midiPause_.setTimerType(Qt::PreciseTimer); // a coarse timer may end it 5 % early
    midiPause_.setInterval(kMidiPause);
    connect(&midiPause_, &QTimer::timeout, this, [this] { attempt([this] { advanceAfterPause(); }); });
    connect(&device_, &MediaDevice::changed, this, &PlaybackSession::updateState);
    connect(&device_, &MediaDevice::positionSet, this, &PlaybackSession::seeked);
    connect(this, &PlaybackSession::seeked, this, [this](int ms) { lastPosition_ = ms; });
    connect(
        &device_, &MediaDevice::ready, this, [this](const QString& refusal) { attempt([&] { trackReady(refusal); }); });
    if (!setup_.songMemory.empty())
        memory_ = std::make_unique<memory::SongMemory>(setup_.songMemory);
    readStoredQueue();
    // Every run starts at full volume: the desktop's mixer keeps the rest.
    if (setup_.setVolume)
        setup_.setVolume(volume_);
}

// The memory's worker goes first: it may still be telling the queue.
PlaybackSession::~PlaybackSession()
{
    memory_.reset();
}

// A refusal of the device leaves as failed(), never as an exception: no
// caller of a command, and no slot, has to catch it.
bool PlaybackSession::attempt(const std::function<void()>& command) noexcept
{
    lastFailure_.clear();
    try {
        command();
        return true;
    } catch (const std::exception& e) {
        fail(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        fail(QStringLiteral("Unbekannte Ausnahme"));
    }
    return false;
}

void PlaybackSession::fail(const QString& reason)
{
    lastFailure_ = reason;
    if (quiet_ == 0)
        emit failed(reason);
    else
        std::fprintf(stderr, "quorvana: %s\n", reason.toLocal8Bit().constData());
}

multimedia::Choices PlaybackSession::choices() const
{
    return setup_.choices ? setup_.choices() : multimedia::Choices {};
}

// --- What the views show. ---

PlaybackSession::State PlaybackSession::derivedState()
{
    if (midiPause_.isActive())
        return State::Resting;
    if (!device_.isOpen())
        return track_.reason.isEmpty() ? State::Empty : State::Refused;
    if (device_.fileName().isEmpty())
        return State::Empty;
    if (device_.mode() != TMPModes::mpStopped)
        heldPause_ = false;
    if (heldPause_)
        return State::Paused;
    switch (device_.mode()) {
    case TMPModes::mpNotReady:
        return State::Loading;
    case TMPModes::mpPlaying:
        return State::Playing;
    case TMPModes::mpPaused:
        return State::Paused;
    default:
        return State::Stopped;
    }
}

void PlaybackSession::updateState()
{
    if (batch_ > 0)
        return;
    const State now = derivedState();
    if (now == state_)
        return;
    state_ = now;
    emit stateChanged(state_);
}

bool PlaybackSession::hasTrack() const
{
    return device_.isOpen() && !device_.fileName().isEmpty();
}

int PlaybackSession::positionMs()
{
    return device_.position();
}

uint64_t PlaybackSession::positionMicros()
{
    mci::Singer* singer = device_.singer();
    return singer ? singer->positionMicros() : 0;
}

// --- Commands on the open track. ---

bool PlaybackSession::command(void (MediaDevice::*action)())
{
    const Batch batch(*this);
    cancelPendingAdvance();
    heldPause_ = false;
    timer_.start();
    return attempt([&] { (device_.*action)(); });
}

bool PlaybackSession::play()
{
    return command(&MediaDevice::play);
}

bool PlaybackSession::pauseOrResume()
{
    // A track still read has no mode to pause yet: the pause waits for it.
    if (state_ == State::Loading) {
        whenRead([this] { pauseOrResume(); });
        return true;
    }
    // After a seek while paused the device stands still: resuming plays.
    return command(heldPause_ ? &MediaDevice::play : &MediaDevice::pause);
}

bool PlaybackSession::stop()
{
    // The loop ends with the stop; the song keeps it for its next start.
    if (track_.looping()) {
        if (mci::Singer* singer = device_.singer())
            singer->clearLoop();
        track_.loopBegin = track_.loopEnd = -1;
        emit trackChanged();
    }
    return command(&MediaDevice::stop);
}

bool PlaybackSession::toStart()
{
    return command(&MediaDevice::previous);
}

bool PlaybackSession::toEnd()
{
    return command(&MediaDevice::next);
}

void PlaybackSession::seekTo(int ms)
{
    const Batch batch(*this);
    if (!hasTrack())
        return;
    cancelPendingAdvance();
    heldPause_ = false;
    if (!attempt([&] {
            device_.setPosition(ms);
            device_.play();
        }))
        return;
    followPosition(device_.position());
    timer_.start();
}

void PlaybackSession::seekHolding(int ms)
{
    if (state_ != State::Paused) {
        seekTo(ms);
        return;
    }
    const Batch batch(*this);
    if (!attempt([&] { device_.setPosition(ms); }))
        return;
    heldPause_ = true;
    followPosition(device_.position());
}

void PlaybackSession::whenRead(std::function<void()> command)
{
    if (state_ != State::Loading) {
        command();
        return;
    }
    if (waitingFile_ != device_.fileName())
        waitingForRead_.clear();
    waitingFile_ = device_.fileName();
    waitingForRead_.push_back(std::move(command));
}

void PlaybackSession::runWhatWaitedForRead()
{
    const std::vector<std::function<void()>> waiting = std::exchange(waitingForRead_, {});
    if (waitingFile_ != device_.fileName() || !hasTrack())
        return;
    const Quietly quietly(*this);
    for (const std::function<void()>& command : waiting)
        attempt(command);
}

// --- Around the track. ---

void PlaybackSession::setAutoAdvance(bool on)
{
    if (on == autoAdvance_)
        return;
    autoAdvance_ = on;
    emit autoAdvanceChanged(on);
}

void PlaybackSession::setAutoEnable(bool on)
{
    autoEnable_ = on;
    emit autoEnableChanged(on);
}

void PlaybackSession::setVolume(double volume)
{
    if (std::isnan(volume))
        return;
    volume = std::clamp(volume, 0.0, 1.0);
    if (volume == volume_)
        return;
    volume_ = volume;
    if (setup_.setVolume)
        setup_.setVolume(volume);
    emit volumeChanged(volume);
}
