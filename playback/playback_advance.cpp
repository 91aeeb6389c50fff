// The session's tick: the position followed, a lost output, and at a
// track's end the list's next entry, after a rest when a song ended.
#include "playback/playback_session.h"

#include "core/media_kinds.h"

void PlaybackSession::tick()
{
    const Batch batch(*this);
    // Before the first track and after a failed open there is nothing to
    // follow; a track still read from its file has no position yet.
    if (!hasTrack() || device_.mode() == TMPModes::mpNotReady)
        return;
    if (outputLost())
        return;
    const int position = device_.position();
    // The song went back without a seek: a loop came round. The words and
    // the desktop take it as the jump it is.
    if (track_.looping() && position < lastPosition_)
        emit seeked(position);
    lastPosition_ = position;
    followPosition(position);
    if (position != device_.length())
        advanceCancelled_ = false;
    if (atEndLeadingOn())
        advance();
}

// The sound output went and does not come back: the track cannot go on, and
// says why, as a track the device refused does.
bool PlaybackSession::outputLost()
{
    if (!setup_.lostOutput || device_.mode() != TMPModes::mpPlaying)
        return false;
    const std::string lost = setup_.lostOutput();
    if (lost.empty())
        return false;
    device_.close();
    openFailed(kListClick, QString::fromStdString(lost));
    return true;
}

void PlaybackSession::followPosition(int position)
{
    if (position / 100 == shownTenths_)
        return;
    shownTenths_ = position / 100;
    emit positionChanged(position);
}

// The queue leads on from any track; the folder from its own selected
// entry, or from the queue's last, while Auto-Advance is on.
bool PlaybackSession::atEndLeadingOn()
{
    if (advanceCancelled_ || device_.position() != device_.length())
        return false;
    return !queue_.empty() || (autoAdvance_ && (playingQueued_ || device_.fileName() == selectedFile()));
}

void PlaybackSession::advance()
{
    folderLeadsOn_ = autoAdvance_ && (playingQueued_ || device_.fileName() == selectedFile());
    const media_kinds::Kind* kind = media_kinds::kindOf(device_.fileName());
    if (kind && kind->pauseAfter) {
        // The song's reverb dies away; a command meanwhile cancels the advance.
        timer_.stop();
        midiPause_.start();
        updateState();
        return;
    }
    startNextEntry();
}

void PlaybackSession::advanceAfterPause()
{
    const Batch batch(*this);
    timer_.start();
    startNextEntry();
}

void PlaybackSession::startNextEntry()
{
    if (!queue_.empty()) {
        const QString file = queue_.front().file;
        removeQueued(0);
        checkReset();
        start(kQueued, file);
        return;
    }
    // Emptied during the rest: the track ends as it would have without one.
    if (!folderLeadsOn_)
        return;
    const int ended = selected_;
    select(selected_ + 1);
    device_.setPosition(0);
    checkReset();
    // Where the selection could not move the folder has ended: its last
    // entry opens again and stays still. Only the list tells the end; the
    // name of the last file clicked does not, as a file from outside the
    // list may have played since.
    if (selected_ != ended) {
        start(kAdvance, selectedFile());
    } else if (openTrack(kAdvance, selectedFile())) {
        timer_.stop();
    }
}

void PlaybackSession::cancelPendingAdvance()
{
    if (!midiPause_.isActive())
        return;
    midiPause_.stop();
    advanceCancelled_ = true;
    updateState();
}
