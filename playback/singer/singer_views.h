#pragma once
// The singer's windows, views of the session as the button bar is: the
// words window of the song that plays, made when a song with words opens and
// gone with it. They show the session's track, state and position and send
// it their commands; they never reach the device.
#include "playback/singer/lyrics_window.h"

#include <QByteArray>
#include <QObject>

#include <memory>

class PlaybackSession;

class SingerViews : public QObject {
    Q_OBJECT

public:
    explicit SingerViews(PlaybackSession& session, QObject* parent = nullptr);
    ~SingerViews() override;

    // Where the words window last stood (saveGeometry()'s bytes, empty for
    // none): the next song's words come there.
    void setWordsPlace(const QByteArray& place) { place_ = place; }

    // The song's words closed as Escape in them does (a full screen gives the
    // screen back first), or brought back. False when there are none to.
    bool closeWords();
    bool reopenWords();

    // The words window of the song open now; none without words.
    singer::LyricsWindow* wordsWindow() const { return words_.get(); }

signals:
    // The words window went from PLACE: where the next run's words come.
    void wordsPlaceKept(const QByteArray& place);

private:
    void followTrack();
    void followState();

    PlaybackSession& session_;
    std::unique_ptr<singer::LyricsWindow, singer::LyricsWindow::Disposer> words_;
    std::shared_ptr<const midi::Words> shownWords_;
    QByteArray place_;
    // Stopped by a seek, not by the user or the end: the words stay.
    bool stoppedBySeek_ = false;
};
