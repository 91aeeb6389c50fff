#include "playback/playback_session.h"

#include "core/media_kinds.h"
#include "core/textrules.h"
#include "framework/errors.h"
#include "framework/file_names.h"
#include "framework/guard.h"
#include "platform/audio/audio_output.h"
#include "platform/fs/system_info.h"
#include "platform/multimedia/stored_choices.h"
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

PlaybackSession::PlaybackSession(QObject* parent) : QObject(parent)
{
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, ui::guarded([this] { tick(); }));
    midiPause_.setSingleShot(true);
    midiPause_.setTimerType(Qt::PreciseTimer); // a coarse timer may end it 5 % early
    midiPause_.setInterval(kMidiPause);
    connect(&midiPause_, &QTimer::timeout, this, ui::guarded([this] { advanceAfterPause(); }));
    connect(&device_, &MediaDevice::changed, this, &PlaybackSession::modeChanged);
    connect(&device_, &MediaDevice::stoppedByItself, this, &PlaybackSession::ended);
    connect(&device_, &MediaDevice::positionSet, this, &PlaybackSession::seeked);
    connect(&device_, &MediaDevice::ready, this, ui::guarded([this](const QString& refusal) { trackReady(refusal); }));
    // Every run starts at full volume: the desktop's mixer keeps the rest.
    audio::setVolume(volume_);
}

PlaybackSession::~PlaybackSession() = default;

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

bool PlaybackSession::start(const EntryRules& rules, const QString& fileName)
{
    device_.deviceType = media_kinds::askedDevice(media_kinds::kindOf(fileName));
    device_.fileName = fileName;
    setReason({});
    try {
        device_.open();
    } catch (const ui::EMCIDeviceError& refusal) {
        openFailed(rules, QString::fromStdString(refusal.message()));
        return false;
    }
    if (rules.stopsAutoEnable)
        setAutoEnable(false);
    if (rules.stopsAtSameTrack && currentTrackName_ == device_.fileName) {
        timer_.stop();
        return false;
    }

    advanceCancelled_ = false;
    device_.play();
    showLength();
    const QString title = textrules::extractFileName(device_.fileName);
    setTitle(rules.trimsTitle ? textrules::trimRight(title) : title);
    if (rules.remembersTrack)
        currentTrackName_ = device_.fileName;
    if (rules.showsInBrowser)
        emit browseTo(device_.fileName);
    if (rules.matchesSelection)
        matchSelectionToTitle();
    if (rules.startsTimer)
        timer_.start();
    if (rules.acceptsDropsAfter)
        emit dropsAccepted();
    return true;
}

void PlaybackSession::openFailed(const EntryRules& rules, const QString& reason)
{
    timer_.stop();
    if (rules.autoEnableOnFailure)
        setAutoEnable(true);
    setReason(reason);
    emit refused(reason);
}

// A track whose file was read after it started: its length is known now, or
// it cannot play after all and ends as a refused track does.
void PlaybackSession::trackReady(const QString& refusal)
{
    if (refusal.isEmpty()) {
        showLength();
        return;
    }
    device_.close();
    openFailed(kListClick, refusal);
}

void PlaybackSession::setReason(const QString& reason)
{
    reason_ = reason;
    emit reasonChanged(reason_);
    // "Error" alone cannot tell a damaged file from a missing sound card.
    if (!reason.isEmpty())
        std::fprintf(stderr, "quorvana: %s: %s\n", ui::fileNameBytes(device_.fileName).c_str(),
            reason.toLocal8Bit().constData());
}

void PlaybackSession::showLength()
{
    device_.setTimeFormat(TMPTimeFormats::tfMilliseconds);
    emit lengthShown(device_.length());
}

void PlaybackSession::setTitle(const QString& title)
{
    if (title == title_)
        return;
    title_ = title;
    emit titleChanged(title_);
}

void PlaybackSession::matchSelectionToTitle()
{
    for (int i = 0; i < names_.size(); ++i)
        if (names_.at(i) == title_)
            select(i);
}

void PlaybackSession::listClick()
{
    cancelPendingAdvance();
    checkReset();
    start(kListClick, selectedFile());
}

void PlaybackSession::startFromCommandLine(const QStringList& arguments)
{
    const QString file = textrules::commandLineFileName(arguments);
    if (file.isEmpty()) {
        emit dropsAccepted();
        return;
    }
    cancelPendingAdvance();
    start(kCommandLine, file);
}

void PlaybackSession::startDropped(const QString& path, const QString& extension)
{
    // The drop names the text after the first dot: "b.mid" of "a.b.mid" is no media kind.
    if (!media_kinds::kindOfExtension(QStringLiteral(".") + extension))
        return;
    cancelPendingAdvance();
    start(kDrop, path);
}

void PlaybackSession::tick()
{
    // Before the first track and after a failed open there is nothing to
    // follow; a pending seek waits for the next track.
    if (!device_.isOpen() || device_.fileName.isEmpty())
        return;
    // Still reading its file: nothing to follow yet.
    if (device_.mode() == TMPModes::mpNotReady)
        return;
    if (const std::string lost = audio::lostOutput(); !lost.empty() && device_.mode() == TMPModes::mpPlaying) {
        // The sound output went and does not come back: the track cannot go
        // on, and says why, as a track the device refused does.
        device_.close();
        openFailed(kListClick, QString::fromStdString(lost));
        return;
    }
    if (seekPending_) {
        device_.setPosition(shownTenths_ * 100);
        device_.play();
        seekPending_ = false;
        return;
    }
    const int position = device_.position();
    setShownPosition(position / 100);
    if (position != device_.length())
        advanceCancelled_ = false;
    if (atEndOfSelectedTrack())
        advance();
}

void PlaybackSession::setShownPosition(int tenths)
{
    if (tenths == shownTenths_)
        return;
    shownTenths_ = tenths;
    emit positionShown(shownTenths_);
}

bool PlaybackSession::atEndOfSelectedTrack()
{
    return !advanceCancelled_ && device_.position() == device_.length() && autoAdvance_
        && device_.fileName == selectedFile();
}

void PlaybackSession::advance()
{
    const media_kinds::Kind* kind = media_kinds::kindOf(device_.fileName);
    if (kind && kind->pauseAfter) {
        // The song's reverb dies away; a command meanwhile cancels the advance.
        timer_.stop();
        midiPause_.start();
        return;
    }
    startNextEntry();
}

void PlaybackSession::advanceAfterPause()
{
    timer_.start();
    startNextEntry();
}

void PlaybackSession::startNextEntry()
{
    select(selected_ + 1);
    device_.setPosition(0);
    checkReset();
    start(kAdvance, selectedFile());
}

void PlaybackSession::cancelPendingAdvance()
{
    if (!midiPause_.isActive())
        return;
    midiPause_.stop();
    advanceCancelled_ = true;
}

bool PlaybackSession::playNeighbour(int step)
{
    const int index = selected_ + step;
    if (index < 0 || index >= names_.size())
        return false;
    cancelPendingAdvance();
    select(index);
    checkReset();
    // Asked for from outside while the timer may be off: the new track is
    // followed, as one started from the list is.
    if (!start(kAdvance, selectedFile()))
        return false;
    timer_.start();
    return true;
}

void PlaybackSession::buttonPressed()
{
    cancelPendingAdvance();
    timer_.start();
    device_.setTimeFormat(TMPTimeFormats::tfMilliseconds);
}

void PlaybackSession::play()
{
    buttonPressed();
    device_.play();
}

void PlaybackSession::pauseOrResume()
{
    buttonPressed();
    device_.pause();
}

void PlaybackSession::stop()
{
    buttonPressed();
    device_.stop();
}

void PlaybackSession::seekTo(int ms)
{
    cancelPendingAdvance();
    seekPending_ = false;
    device_.setPosition(ms);
    device_.play();
    setShownPosition(device_.position() / 100);
    timer_.start();
}

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
    const char* name = reset_ == ResetChoice::GM ? reset_sequences::kGMFileName
        : reset_ == ResetChoice::GS              ? reset_sequences::kGSFileName
                                                 : nullptr;
    if (!name)
        return;
    device_.deviceType = mci::DeviceType::Sequencer;
    device_.fileName = windowsDirectory_ + "/" + name;
    device_.open();
    device_.play();
}

void PlaybackSession::openQuietly(const QString& fileName)
{
    cancelPendingAdvance();
    device_.fileName = fileName;
    try {
        device_.open();
    } catch (const ui::EMCIDeviceError&) {
    }
}

void PlaybackSession::stopIfOpen()
{
    cancelPendingAdvance();
    if (device_.isOpen())
        device_.stop();
}

void PlaybackSession::rewindIfOpen()
{
    if (device_.isOpen())
        device_.previous();
}

QString PlaybackSession::refusalOf(const QString& fileName) const
{
    const media_kinds::Kind* kind = media_kinds::kindOf(fileName);
    const mci::Result r = mci::checkFile(media_kinds::resolvedDevice(media_kinds::askedDevice(kind), fileName),
        ui::encodeFileName(fileName).toStdString());
    return r.ok() ? QString() : QString::fromStdString(r.text);
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
        QTimer::singleShot(kPrepareDelay, this, [types] {
            const multimedia::Choices choices = multimedia::load();
            for (mci::DeviceType type : types)
                mci::prepareDevice(type, choices);
        });
}

int PlaybackSession::lengthMs()
{
    return device_.isOpen() ? device_.length() : 0;
}

int PlaybackSession::positionMs()
{
    return device_.position();
}

void PlaybackSession::setVolume(double volume)
{
    if (std::isnan(volume))
        return;
    volume = std::clamp(volume, 0.0, 1.0);
    if (volume == volume_)
        return;
    volume_ = volume;
    audio::setVolume(volume);
    emit volumeChanged(volume);
}
