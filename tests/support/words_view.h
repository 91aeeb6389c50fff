#pragma once
// The words window of a song open on a sequencer, made from what the device
// hands up as the singer's views make it, for tests and benchmarks that
// drive the device itself.
#include "platform/mci/singer.h"
#include "playback/singer/lyrics_window.h"

#include <memory>

namespace testing_support {

using WordsWindow = std::unique_ptr<singer::LyricsWindow, singer::LyricsWindow::Disposer>;

// A window following DEVICE's song, shown as playing; none while the song is
// still read or has no words.
inline WordsWindow wordsWindowOf(mci::Device& device)
{
    mci::Singer* part = device.mode() == mci::Mode::NotReady ? nullptr : device.singer();
    const std::shared_ptr<const mci::SongParts> song = part ? part->parts() : nullptr;
    if (!song || song->words->empty())
        return nullptr;
    WordsWindow window(new singer::LyricsWindow({}, song->words, [part] { return part->positionMicros(); }));
    window->playing();
    return window;
}

} // namespace testing_support
