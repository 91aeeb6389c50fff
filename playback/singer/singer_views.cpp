#include "playback/singer/singer_views.h"

#include "playback/playback_session.h"

#include <QFileInfo>
#include <QTimer>

SingerViews::SingerViews(PlaybackSession& session, QObject* parent) : QObject(parent), session_(session)
{
    connect(&session_, &PlaybackSession::trackChanged, this, &SingerViews::followTrack);
    connect(&session_, &PlaybackSession::stateChanged, this, &SingerViews::followState);
    // A seek comes within a command whose state is told at its end: the
    // words show the new place at once and follow that state once it is.
    connect(&session_, &PlaybackSession::seeked, this, [this] {
        stoppedBySeek_ = true;
        if (words_)
            words_->halted();
        QTimer::singleShot(0, this, &SingerViews::followState);
    });
    followTrack();
}

// The words going tell where they went: while all of this is still here.
SingerViews::~SingerViews()
{
    words_.reset();
}

bool SingerViews::closeWords()
{
    if (!words_ || !words_->isVisible())
        return false;
    words_->escape();
    return true;
}

bool SingerViews::reopenWords()
{
    return words_ && words_->reopen();
}

void SingerViews::followTrack()
{
    const Track& track = session_.track();
    if (track.words != shownWords_) {
        words_.reset();
        shownWords_ = track.words;
        if (shownWords_ && !shownWords_->empty() && track.showWords) {
            const QString title = !track.text.title.empty() ? QString::fromStdString(track.text.title)
                                                            : QFileInfo(track.file).fileName();
            // The syllables' times are the song's own, as the position is at any tempo.
            words_.reset(new singer::LyricsWindow(
                title, shownWords_, [this] { return session_.positionMicros(); }, place_));
            words_->onPlaceKept = [this](const QByteArray& place) {
                place_ = place;
                emit wordsPlaceKept(place);
            };
            words_->onAsk = [this](int semitones, int percent) {
                if (semitones != session_.track().transpose)
                    session_.setTranspose(semitones);
                if (percent != session_.track().tempo)
                    session_.setTempo(percent);
            };
            followState();
        }
    }
    if (!words_)
        return;
    words_->showKeyAndTempo(track.transpose, track.tempo);
    words_->setTempo(track.tempo);
    // The wait for the next syllable was taken at the old tempo: taken again.
    if (session_.state() == PlaybackSession::State::Playing)
        words_->playing();
}

void SingerViews::followState()
{
    const PlaybackSession::State state = session_.state();
    if (state != PlaybackSession::State::Stopped)
        stoppedBySeek_ = false;
    if (!words_)
        return;
    switch (state) {
    case PlaybackSession::State::Playing:
        words_->playing();
        break;
    case PlaybackSession::State::Paused:
        words_->halted();
        break;
    case PlaybackSession::State::Stopped:
        stoppedBySeek_ ? words_->halted() : words_->stopped();
        break;
    default:
        words_->stopped();
        break;
    }
}
