#include "playback/playback_session.h"

#include "core/media_kinds.h"
#include "platform/multimedia/choices.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace {

const int kMidiPause = 1500;
// Long enough for the window to be drawn before a device's preparation
// competes with it for the processor.
const int kPrepareDelay = 300;

QString joined(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

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
    connect(
        &device_, &MediaDevice::ready, this, [this](const QString& refusal) { attempt([&] { trackReady(refusal); }); });
    // Every run starts at full volume: the desktop's mixer keeps the rest.
    if (setup_.setVolume)
        setup_.setVolume(volume_);
}

PlaybackSession::~PlaybackSession() = default;

// A refusal of the device leaves as failed(), never as an exception: no
// caller of a command, and no slot, has to catch it.
bool PlaybackSession::attempt(const std::function<void()>& command) noexcept
{
    try {
        command();
        return true;
    } catch (const std::exception& e) {
        emit failed(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        emit failed(QStringLiteral("Unbekannte Ausnahme"));
    }
    return false;
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

// --- The tracks. ---

void PlaybackSession::setTracks(const QString& folder, const QStringList& names)
{
    folder_ = folder;
    names_ = names;
    if (selected_ >= names_.size())
        selected_ = -1;
    emit tracksChanged();
}

void PlaybackSession::select(int index)
{
    if (index < 0)
        index = -1;
    if (index == selected_ || index >= names_.size())
        return;
    selected_ = index;
    emit selectionChanged(selected_);
}

QString PlaybackSession::selectedFile() const
{
    return selected_ < 0 ? QString() : joined(folder_, names_.at(selected_));
}

void PlaybackSession::prepareDevicesForTracks()
{
    // Only a folder that holds songs loads the synthesizer: a player that
    // never plays one does not carry its soundfont.
    std::set<mci::DeviceType> types;
    for (const QString& name : names_)
        if (const media_kinds::Kind* kind = media_kinds::kindOf(name))
            types.insert(media_kinds::resolvedDevice(media_kinds::askedDevice(kind), name));
    if (!types.empty())
        QTimer::singleShot(kPrepareDelay, this, [this, types] {
            const multimedia::Choices chosen = choices();
            for (mci::DeviceType type : types)
                mci::prepareDevice(type, chosen);
        });
}

void PlaybackSession::matchSelectionToTitle()
{
    for (int i = 0; i < names_.size(); ++i)
        if (names_.at(i) == track_.title)
            select(i);
}

// --- Commands on the open track. ---

bool PlaybackSession::command(void (MediaDevice::*action)())
{
    const Batch batch(*this);
    cancelPendingAdvance();
    timer_.start();
    return attempt([&] { (device_.*action)(); });
}

bool PlaybackSession::play()
{
    return command(&MediaDevice::play);
}

bool PlaybackSession::pauseOrResume()
{
    return command(&MediaDevice::pause);
}

bool PlaybackSession::stop()
{
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
    if (!attempt([&] {
            device_.setPosition(ms);
            device_.play();
        }))
        return;
    followPosition(device_.position());
    timer_.start();
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
