#pragma once
// The part of a device that plays songs which singers and players work: the
// song's words and where it stands, handed up as data for the views above,
// and the key and tempo they set. Every call comes from the GUI thread.
#include "platform/mci/mci.h"
#include "platform/midi/words.h"

#include <cstdint>
#include <memory>

namespace mci {

class Singer {
public:
    // The song's words with their times; empty where it has none. The same
    // words for as long as the song is open.
    virtual std::shared_ptr<const midi::Words> words() = 0;
    // Where the song stands, in microseconds of its own time, as precise as
    // the sound's clock; 0 while it is still read.
    virtual uint64_t positionMicros() = 0;

    // Every note but the percussion channel's moved by SEMITONES, the song
    // played at PERCENT of its own tempo, within midi's singer bounds: other
    // values are refused with ErrOutOfRange. They take effect at once while
    // playing, else at the next play, and hold until the device opens
    // another file, which starts at 0 and 100. Length, position and seeks
    // stay in the song's own time, which runs at the tempo.
    virtual Result setTranspose(int semitones) = 0;
    virtual Result setTempo(int percent) = 0;

protected:
    ~Singer() = default;
};

} // namespace mci
