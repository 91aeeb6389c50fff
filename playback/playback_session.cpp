#include "playback/playback_session.h"

#include "core/media_kinds.h"
#include "core/textrules.h"
#include "framework/errors.h"
#include "framework/file_names.h"
#include "platform/fs/system_info.h"
#include "platform/multimedia/choices.h"
#include "playback/reset_sequences.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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
template <class Fn> bool PlaybackSession::attempt(Fn&& command) noexcept
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

// --- Starts. ---

void PlaybackSession::openDevice(mci::DeviceType type)
{
    const Batch batch(*this);
    try {
        device_.open(type, {}, choices());
    } catch (const ui::EMCIDeviceError&) {
        // No sequencer: the player still starts and browses; a command says
        // "Kein MCI-Gerät geöffnet" until a track opens.
    }
}

bool PlaybackSession::start(const EntryRules& rules, const QString& fileName)
{
    if (!openTrack(rules, fileName))
        return false;
    if (rules.stopsAutoEnable)
        setAutoEnable(false);
    if (rules.stopsAtSameTrack && currentTrackName_ == fileName) {
        timer_.stop();
        return false;
    }
    startPlaying(rules);
    return true;
}

bool PlaybackSession::openTrack(const EntryRules& rules, const QString& fileName)
{
    setReason({});
    try {
        device_.open(media_kinds::askedDevice(media_kinds::kindOf(fileName)), fileName, choices());
    } catch (const ui::EMCIDeviceError& refusal) {
        track_.file = fileName;
        openFailed(rules, QString::fromStdString(refusal.message()));
        return false;
    }
    return true;
}

void PlaybackSession::startPlaying(const EntryRules& rules)
{
    advanceCancelled_ = false;
    device_.play();
    const QString title = textrules::extractFileName(device_.fileName());
    track_.file = device_.fileName();
    track_.device = device_.openType();
    track_.title = rules.trimsTitle ? textrules::trimRight(title) : title;
    readTrack();
    if (rules.remembersTrack)
        currentTrackName_ = track_.file;
    if (rules.showsInBrowser)
        emit browseTo(track_.file);
    if (rules.matchesSelection)
        matchSelectionToTitle();
    if (rules.startsTimer)
        timer_.start();
    if (rules.acceptsDropsAfter)
        emit dropsAccepted();
}

void PlaybackSession::openFailed(const EntryRules& rules, const QString& reason)
{
    timer_.stop();
    if (rules.autoEnableOnFailure)
        setAutoEnable(true);
    track_.lengthMs = 0;
    track_.text = {};
    setReason(reason);
    updateState();
}

// The track's length and words, once its device has read them.
void PlaybackSession::readTrack()
{
    device_.setTimeFormat(TMPTimeFormats::tfMilliseconds);
    track_.lengthMs = device_.length();
    track_.text = device_.text();
    emit trackChanged();
}

// A track whose file was read after it started: its length is known now, or
// it cannot play after all and ends as a refused track does.
void PlaybackSession::trackReady(const QString& refusal)
{
    const Batch batch(*this);
    if (refusal.isEmpty()) {
        readTrack();
        return;
    }
    device_.close();
    openFailed(kListClick, refusal);
}

void PlaybackSession::setReason(const QString& reason)
{
    const bool changed = reason != track_.reason;
    track_.reason = reason;
    // "Error" alone cannot tell a damaged file from a missing sound card.
    if (!reason.isEmpty())
        std::fprintf(
            stderr, "quorvana: %s: %s\n", ui::fileNameBytes(track_.file).c_str(), reason.toLocal8Bit().constData());
    if (changed || !reason.isEmpty())
        emit trackChanged();
}

void PlaybackSession::playEntry(int index)
{
    const Batch batch(*this);
    cancelPendingAdvance();
    select(index);
    if (attempt([this] { checkReset(); }))
        start(kListClick, selectedFile());
}

void PlaybackSession::setCommandLine(const QStringList& arguments)
{
    arguments_ = arguments;
}

void PlaybackSession::playCommandLineFile()
{
    const Batch batch(*this);
    const QString file = textrules::commandLineFileName(arguments_);
    if (file.isEmpty()) {
        emit dropsAccepted();
        return;
    }
    cancelPendingAdvance();
    start(kCommandLine, file);
}

void PlaybackSession::playDropped(const QString& path, const QString& extension)
{
    const Batch batch(*this);
    if (!media_kinds::kindOfExtension(QStringLiteral(".") + extension))
        return;
    cancelPendingAdvance();
    start(kDrop, path);
}

void PlaybackSession::handOver(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    arguments_ = {arguments_.value(0), paths.first()};
    playDropped(paths.first(), textrules::textAfterFirstDot(paths.first()));
}

bool PlaybackSession::playNeighbour(int step)
{
    const Batch batch(*this);
    const int index = selected_ + step;
    if (index < 0 || index >= names_.size())
        return false;
    cancelPendingAdvance();
    select(index);
    if (!attempt([this] { checkReset(); }))
        return false;
    // Asked for from outside while the timer may be off: the new track is
    // followed, as one started from the list is.
    if (!start(kAdvance, selectedFile()))
        return false;
    timer_.start();
    return true;
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

void PlaybackSession::chooseReset(ResetChoice choice)
{
    if (choice != reset_) {
        reset_ = choice;
        emit resetChanged(choice);
    }
    if (choice == ResetChoice::None)
        return;
    const std::string dir = kernel::windowsDirectory() + "/";
    windowsDirectory_ = ui::decodeFileName(dir.substr(0, dir.size() - 1));
    reset_sequences::writeIfMissing(dir + reset_sequences::kGSFileName, reset_sequences::gsFile());
    reset_sequences::writeIfMissing(dir + reset_sequences::kGMFileName, reset_sequences::gmFile());
}

void PlaybackSession::checkReset()
{
    const Batch batch(*this);
    const char* name = reset_ == ResetChoice::GM ? reset_sequences::kGMFileName
        : reset_ == ResetChoice::GS              ? reset_sequences::kGSFileName
                                                 : nullptr;
    if (!name)
        return;
    device_.open(mci::DeviceType::Sequencer, windowsDirectory_ + "/" + name, choices());
    device_.play();
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

// --- The file menu's. ---

void PlaybackSession::letGoFor(const QString& fileName)
{
    const Batch batch(*this);
    cancelPendingAdvance();
    try {
        device_.open(media_kinds::askedDevice(media_kinds::kindOf(fileName)), fileName, choices());
    } catch (const ui::EMCIDeviceError&) {
        return;
    }
    // The device holds the other file now: the track is that one, stopped,
    // under the window's title as it was.
    track_.file = fileName;
    track_.device = device_.openType();
    readTrack();
}

void PlaybackSession::stopIfOpen()
{
    const Batch batch(*this);
    cancelPendingAdvance();
    if (device_.isOpen())
        attempt([this] { device_.stop(); });
}

void PlaybackSession::rewindIfOpen()
{
    const Batch batch(*this);
    if (device_.isOpen())
        attempt([this] { device_.previous(); });
}

QString PlaybackSession::refusalOf(const QString& fileName) const
{
    const media_kinds::Kind* kind = media_kinds::kindOf(fileName);
    const mci::Result r = mci::checkFile(media_kinds::resolvedDevice(media_kinds::askedDevice(kind), fileName),
        ui::encodeFileName(fileName).toStdString());
    return r.ok() ? QString() : QString::fromStdString(r.text);
}
