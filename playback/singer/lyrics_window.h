#pragma once
// The words window of a karaoke song: its words, the line being
// sung and those to come, the syllables already sung in a second colour; a
// count-in with the song's title before the words and across long pauses.
// It follows the song's clock, waking at each syllable's time. The user
// sizes it, or fills the screen with it, for a room to sing from; its place
// is kept for the next song.
#include "platform/midi/words.h"
#include "playback/track.h"

#include <QAction>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class QActionGroup;
class QMenu;
class QScreen;

namespace singer {

class SungLine;
class WordsPage;
struct WordsMoment;

class LyricsWindow final : public QWidget {
public:
    // POSITION tells where the song stands, in microseconds, whenever asked.
    // PLACE: where the user last had the words, as saveGeometry() wrote it;
    // empty for none.
    LyricsWindow(const QString& title, std::shared_ptr<const midi::Words> words, std::function<uint64_t()> position,
        QByteArray place = {});

    // The song plays: the window shows where it stands and follows it, unless
    // the user closed it.
    void playing();
    // Paused or moved: the window shows where the song stands and waits.
    void halted();
    // Stopped or at the end: the window goes until the song plays again.
    void stopped();
    // The song has ended and the next one follows in a moment: the window
    // stays, and shows what follows.
    void resting();
    // What follows this song, as the room is told it ("Anna – Hero"); empty:
    // nothing does.
    void showNext(const QString& announced);
    // The song plays at PERCENT of its own tempo.
    void setTempo(int percent);

    // The key (semitones from the song's own) and the tempo (percent of its
    // own) set now, shown while either differs from the song's.
    void showKeyAndTempo(int semitones, int percent);
    // The melody guide set now, shown while not Full; its choices are there
    // only where the song's melody was FOUND.
    void showGuide(MelodyGuide guide, bool found);
    // The passage looping now, in ms of the song (-1: none), shown in the
    // corner; the words come back with the song at its end.
    void showLoop(int beginMs, int endMs);
    // Light words on black, for a room.
    void setDark(bool dark);
    // The screen a full screen fills, by its name (QScreen::name()), while
    // it is there; empty or gone: the one the words stand on. The room's TV,
    // beside the host's own.
    void setRoomScreen(const QString& name);

    // What the singer and the host ask of the song by the window's keys and
    // menu. The window shows what is set once it is.
    struct Commands {
        std::function<void(int semitones, int percent)> ask; // both as wanted
        std::function<void(MelodyGuide guide)> guide;
        std::function<void()> pauseOrResume, toStart, nextSong, toWords;
        std::function<void()> channels, saveWave, queue, voice, keyForVoice, forget;
        std::function<void()> loopStart, loopEnd, loopOff;
        std::function<void(bool dark)> dark;
    };
    Commands commands;

    // Told of a new place whenever the window goes, for the next song's.
    std::function<void(const QByteArray& place)> onPlaceKept;
    // Told of the screen the user picks to fill, for the next song's and run's.
    std::function<void(const QString& name)> onRoomScreenChosen;

    // The user's Escape: a full screen gives the screen back, else the words
    // close for the song.
    void escape();
    // The words closed by the user come back; false when they were not closed.
    bool reopen();

    // Hides the window and lets the event loop delete it: it may be the one
    // Qt is activating or handing the focus right now.
    struct Disposer {
        void operator()(LyricsWindow* window) const;
    };

    // Syllables shown as sung.
    size_t sung() const { return sung_; }
    SungLine* currentLine() const;
    SungLine* nextLine() const;
    WordsPage* page() const { return page_; }
    // Told each time the highlight moves, with the syllables sung.
    std::function<void(size_t sung)> onSung;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refresh();
    void showMoment(const WordsMoment& moment);
    void present();
    void place();
    void fitToScreen();
    void toggleFullScreen();
    void fillScreen(QScreen* screen);
    void addScreenChoices();
    void listScreens();
    void screenGone(QScreen* screen);
    void screenBack(QScreen* screen);
    void addSingerActions();
    void ask(int semitones, int percent);
    void showCorner();
    template <typename F> void run(const F& command)
    {
        if (command)
            command();
    }

    std::shared_ptr<const midi::Words> words_;
    std::function<uint64_t()> position_;
    QByteArray place_;
    WordsPage* page_;
    QTimer wake_;
    double rate_ = 1;
    size_t sung_ = 0;
    int countIn_ = 0;
    size_t line_ = SIZE_MAX; // the line shown
    bool shown_ = false; // the page shows sung_ and countIn_ already
    bool playing_ = false;
    bool stopped_ = true;
    bool dismissed_ = false; // the user closed it: not again for this song, unless brought back
    bool placed_ = false;
    int semitones_ = 0;
    int percent_ = 100;
    MelodyGuide guide_ = MelodyGuide::Full;
    int loopBegin_ = -1, loopEnd_ = -1; // ms
    QAction* loopOff_;
    QAction* guides_[3];
    QAction* keyForVoice_;
    QAction* dark_;
    QAction* keyUp_;
    QAction* keyDown_;
    QAction* originalKey_;
    QAction* originalTempo_;
    QAction* faster_;
    QAction* slower_;
    QAction* fullScreen_;
    QMenu* screens_;
    QActionGroup* screenChoices_;
    QString roomScreen_;
    // Full screen there when it went: filled again when it comes back, unless
    // the user has left or filled another since.
    QString lostScreen_;
};

} // namespace singer
