#include "playback/singer/singer_views.h"

#include "playback/playback_session.h"
#include "playback/singer/channels_window.h"
#include "playback/singer/queue_window.h"
#include "playback/singer/voice_dialog.h"
#include "playback/singer/wave_saver.h"

#include "framework/message_box.h"

#include <QFileInfo>
#include <QTimer>

namespace {

// S skips to this long before the first words: time to draw breath.
constexpr uint64_t kLeadInUs = 3'000'000;

} // namespace

SingerViews::SingerViews(PlaybackSession& session, SingerKept kept, QObject* parent)
    : QObject(parent), session_(session), kept_(std::move(kept)), saver_(std::make_unique<singer::WaveSaver>())
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
    // What follows is the queue's first song, else the folder's next.
    connect(&session_, &PlaybackSession::queueChanged, this, &SingerViews::showNext);
    connect(&session_, &PlaybackSession::tracksChanged, this, &SingerViews::showNext);
    connect(&session_, &PlaybackSession::selectionChanged, this, &SingerViews::showNext);
    connect(&session_, &PlaybackSession::autoAdvanceChanged, this, &SingerViews::showNext);
    followTrack();
}

// The words going tell where they went: while all of this is still here.
SingerViews::~SingerViews()
{
    queue_.reset();
    saver_.reset();
    delete voice_;
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

void SingerViews::showChannels()
{
    if (!channels_) {
        channels_ = std::make_unique<singer::ChannelsWindow>(session_);
        channels_->saveWave = [this] { saveAsWave(); };
    }
    channels_->show();
    channels_->raise();
    channels_->activateWindow();
}

void SingerViews::showQueue()
{
    if (!queue_)
        queue_ = std::make_unique<singer::QueueWindow>(session_);
    queue_->show();
    queue_->raise();
    queue_->activateWindow();
}

// Over the window the host works in: words over the room's whole screen
// are the room's, and the host's questions go over the player.
QWidget* SingerViews::dialogOwner() const
{
    if (channels_ && channels_->isActiveWindow())
        return channels_.get();
    if (words_ && words_->isVisible() && !words_->isFullScreen())
        return words_.get();
    return host_;
}

bool SingerViews::atEnd()
{
    return session_.hasTrack() && session_.positionMs() >= session_.track().lengthMs;
}

void SingerViews::showNext()
{
    if (words_)
        words_->showNext(session_.upNext().announced());
}

void SingerViews::saveAsWave()
{
    QWidget* over = dialogOwner();
    std::shared_ptr<const midi::Song> song;
    midi::WaveRender render;
    QString reason;
    if (!session_.backingTrack(song, render, reason)) {
        ui::messageBox(over, reason, QStringLiteral("Save as Wave"), ui::MB_OK | ui::MB_ICONERROR);
        return;
    }
    saver_->ask(over, session_.track().file, std::move(song), render);
}

// Open beside the words, not over the event loop: the song plays on.
void SingerViews::askVoice(bool fit)
{
    if (voice_) {
        voice_->raise();
        voice_->activateWindow();
        return;
    }
    QWidget* over = dialogOwner();
    voice_ = new singer::VoiceDialog(over, kept_.voiceLowest, kept_.voiceHighest);
    voice_->setAttribute(Qt::WA_DeleteOnClose);
    connect(voice_, &QDialog::accepted, this, [this, fit] {
        kept_.voiceLowest = voice_->lowest();
        kept_.voiceHighest = voice_->highest();
        emit keptChanged(kept_);
        if (fit)
            session_.fitKeyToVoice(kept_.voiceLowest, kept_.voiceHighest);
    });
    voice_->open();
}

void SingerViews::fitKeyToVoice()
{
    if (kept_.voiceLowest < 0 || kept_.voiceHighest < 0)
        askVoice(true);
    else
        session_.fitKeyToVoice(kept_.voiceLowest, kept_.voiceHighest);
}

void SingerViews::skipToWords()
{
    const Track& track = session_.track();
    if (!track.song || !track.song->words || track.song->words->empty())
        return;
    const uint64_t first = track.song->words->syllables.front().micros;
    session_.seekTo(int((first > kLeadInUs ? first - kLeadInUs : 0) / 1000));
}

void SingerViews::followTrack()
{
    const Track& track = session_.track();
    const std::shared_ptr<const midi::Words> words = track.song ? track.song->words : nullptr;
    if (words != shownWords_) {
        words_.reset();
        shownWords_ = words;
        if (shownWords_ && !shownWords_->empty() && track.showWords) {
            makeWords();
            followState();
        }
    }
    if (!words_)
        return;
    words_->showKeyAndTempo(track.transpose, track.tempo);
    words_->showGuide(track.guide, track.song && track.song->melody >= 0);
    words_->setTempo(track.tempo);
    words_->showLoop(track.loopBegin, track.loopEnd);
    showNext();
    // The wait for the next syllable was taken at the old tempo: taken again.
    if (session_.state() == PlaybackSession::State::Playing)
        words_->playing();
}

void SingerViews::makeWords()
{
    const Track& track = session_.track();
    const QString title
        = !track.text.title.empty() ? QString::fromStdString(track.text.title) : QFileInfo(track.file).fileName();
    // The syllables' times are the song's own, as the position is at any tempo.
    words_.reset(new singer::LyricsWindow(
        title, shownWords_, [this] { return session_.positionMicros(); }, kept_.wordsPlace));
    words_->setDark(kept_.dark);
    words_->setRoomScreen(kept_.wordsScreen);
    words_->onRoomScreenChosen = [this](const QString& name) {
        kept_.wordsScreen = name;
        emit keptChanged(kept_);
    };
    words_->onPlaceKept = [this](const QByteArray& place) {
        kept_.wordsPlace = place;
        emit keptChanged(kept_);
    };
    singer::LyricsWindow::Commands& c = words_->commands;
    c.ask = [this](int semitones, int percent) {
        if (semitones != session_.track().transpose)
            session_.setTranspose(semitones);
        if (percent != session_.track().tempo)
            session_.setTempo(percent);
    };
    c.guide = [this](MelodyGuide guide) { session_.setMelodyGuide(guide); };
    c.pauseOrResume = [this] { session_.pauseOrResume(); };
    c.toStart = [this] { session_.seekHolding(0); };
    c.nextSong = [this] { session_.playNeighbour(1); };
    c.toWords = [this] { skipToWords(); };
    c.channels = [this] { showChannels(); };
    c.saveWave = [this] { saveAsWave(); };
    c.queue = [this] { showQueue(); };
    c.voice = [this] { askVoice(false); };
    c.keyForVoice = [this] { fitKeyToVoice(); };
    c.forget = [this] { session_.forgetSong(); };
    c.loopStart = [this] { session_.loopStartHere(); };
    c.loopEnd = [this] { session_.loopEndHere(); };
    c.loopOff = [this] { session_.loopOff(); };
    c.dark = [this](bool dark) {
        kept_.dark = dark;
        if (words_)
            words_->setDark(dark);
        emit keptChanged(kept_);
    };
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
    case PlaybackSession::State::Resting:
        words_->resting();
        break;
    case PlaybackSession::State::Stopped:
        // At its end a song the next one follows stops a moment before the
        // rest begins: the room keeps the words, and then sees who is next.
        if (stoppedBySeek_ || (atEnd() && !session_.upNext().file.isEmpty()))
            words_->halted();
        else
            words_->stopped();
        break;
    default:
        words_->stopped();
        break;
    }
}
