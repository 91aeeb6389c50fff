#pragma once
// The singer's windows, views of the session as the button bar is: the
// words window of the song that plays, made when a song with words opens and
// gone with it, and the song's channels. They show the session's track,
// state and position and send it their commands; they never reach the
// device.
#include "playback/singer/lyrics_window.h"
#include "playback/singer/voice_dialog.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class PlaybackSession;

namespace singer {
class ChannelsWindow;
class QueueWindow;
class WaveSaver;
} // namespace singer

// What the singer's windows keep from run to run: the player keeps it.
struct SingerKept {
    QByteArray wordsPlace; // where the words window last stood (saveGeometry()'s bytes); empty: none
    bool dark = false; // light words on black
    QString wordsScreen; // the screen a full screen of the words fills, by QScreen::name(); empty: their own
    int voiceLowest = -1; // the singer's voice, as note numbers; -1: not told
    int voiceHighest = -1;
};

class SingerViews : public QObject {
    Q_OBJECT

public:
    explicit SingerViews(PlaybackSession& session, SingerKept kept = {}, QObject* parent = nullptr);
    ~SingerViews() override;

    const SingerKept& kept() const { return kept_; }
    // The player's window, which the singer's questions go over while the
    // words fill a screen.
    void setHost(QWidget* host) { host_ = host; }

    // The song's words closed as Escape in them does (a full screen gives the
    // screen back first), or brought back. False when there are none to.
    bool closeWords();
    bool reopenWords();
    // The song's channels, in their window.
    void showChannels();
    // The night's queue, in its window.
    void showQueue();
    // The song as it is heard, saved as a wave file the user names.
    void saveAsWave();
    // Asks for the singer's voice; once told, with FIT, the key moves to it.
    void askVoice(bool fit);
    // The key moved to the singer's voice, asked for first where not told.
    void fitKeyToVoice();

    // The words window of the song open now; none without words.
    singer::LyricsWindow* wordsWindow() const { return words_.get(); }
    singer::ChannelsWindow* channelsWindow() const { return channels_.get(); }
    singer::QueueWindow* queueWindow() const { return queue_.get(); }
    singer::VoiceDialog* voiceDialog() const { return voice_; }
    singer::WaveSaver& waveSaver() const { return *saver_; }

signals:
    // Something kept changed: the player keeps KEPT for the next run.
    void keptChanged(const SingerKept& kept);

private:
    void followTrack();
    void followState();
    void makeWords();
    void skipToWords();
    void showNext();
    bool atEnd();
    QWidget* dialogOwner() const;

    PlaybackSession& session_;
    SingerKept kept_;
    std::unique_ptr<singer::LyricsWindow, singer::LyricsWindow::Disposer> words_;
    std::shared_ptr<const midi::Words> shownWords_;
    std::unique_ptr<singer::ChannelsWindow> channels_;
    std::unique_ptr<singer::QueueWindow> queue_;
    QPointer<singer::VoiceDialog> voice_;
    QPointer<QWidget> host_;
    std::unique_ptr<singer::WaveSaver> saver_;
    // Stopped by a seek, not by the user or the end: the words stay.
    bool stoppedBySeek_ = false;
};
