#pragma once
// The sequencer's own window: the words of a karaoke song, the line being
// sung and the next, the syllables already sung in a second colour. It
// follows the song's clock, waking at each syllable's time.
#include "platform/midi/words.h"

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

namespace mci::sequencer {

class SungLine;

class LyricsWindow final : public QWidget {
public:
    // POSITION tells where the song stands, in microseconds, whenever asked.
    LyricsWindow(const QString& title, std::shared_ptr<const midi::Words> words, std::function<uint64_t()> position);

    // The song plays: the window shows where it stands and follows it, unless
    // the user closed it.
    void playing();
    // Paused or moved: the window shows where the song stands and waits.
    void halted();
    // Stopped or at the end: the window goes until the song plays again.
    void stopped();

    // Hides the window and lets the event loop delete it: it may be the one
    // Qt is activating or handing the focus right now.
    struct Disposer {
        void operator()(LyricsWindow* window) const;
    };

    // Syllables shown as sung.
    size_t sung() const { return sung_; }
    SungLine* currentLine() const { return current_; }
    SungLine* nextLine() const { return next_; }
    // Told each time the highlight moves, with the syllables sung.
    std::function<void(size_t sung)> onSung;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void refresh();
    void showLines();

    std::shared_ptr<const midi::Words> words_;
    std::function<uint64_t()> position_;
    SungLine* current_;
    SungLine* next_;
    QTimer wake_;
    size_t sung_ = 0;
    size_t line_ = SIZE_MAX; // the line shown
    bool shown_ = false; // the lines show sung_ already
    bool following_ = false;
    bool dismissed_ = false; // the user closed it: not again for this song
    bool placed_ = false;
};

} // namespace mci::sequencer
