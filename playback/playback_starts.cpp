// The session's starts: a track opened, started and read, or refused with
// its reason, for each of the ways a track starts.
#include "playback/playback_session.h"

#include "core/media_kinds.h"
#include "core/textrules.h"
#include "framework/errors.h"
#include "framework/file_names.h"
#include "platform/fs/system_info.h"
#include "platform/mci/singer.h"
#include "playback/reset_sequences.h"

#include <cstdio>

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
    startPlaying(rules);
    return true;
}

bool PlaybackSession::openTrack(const EntryRules& rules, const QString& fileName)
{
    setReason({});
    waitingForRead_.clear();
    heldPause_ = false;
    playingQueued_ = rules.fromQueue;
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
    track_.transpose = 0;
    track_.tempo = 100;
    track_.muted = track_.soloed = 0;
    track_.guide = MelodyGuide::Full;
    track_.song = nullptr;
    takeSong(); // what was kept for the song is heard from its first note
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
    track_.song = nullptr;
    setReason(reason);
    updateState();
}

// The track's length and words, once its device has read them.
void PlaybackSession::readTrack()
{
    device_.setTimeFormat(TMPTimeFormats::tfMilliseconds);
    track_.lengthMs = device_.length();
    track_.text = device_.text();
    takeSong();
    track_.showWords = choices().showWords;
    emit trackChanged();
}

// A track whose file was read after it started: its length is known now, or
// it cannot play after all and ends as a refused track does.
void PlaybackSession::trackReady(const QString& refusal)
{
    {
        const Batch batch(*this);
        if (!refusal.isEmpty()) {
            waitingForRead_.clear();
            device_.close();
            openFailed(kListClick, refusal);
            return;
        }
        readTrack();
    }
    // After the batch: the commands see the state the track is in now.
    runWhatWaitedForRead();
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

// The reset before a track from the list.

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
    heldPause_ = false;
    playingQueued_ = false;
    track_.file = fileName;
    track_.device = device_.openType();
    track_.transpose = 0;
    track_.tempo = 100;
    track_.muted = track_.soloed = 0;
    track_.guide = MelodyGuide::Full;
    track_.song = nullptr;
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
