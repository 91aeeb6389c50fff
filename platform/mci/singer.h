#pragma once
// The part of a device that plays songs which singers and players work: the
// song's words and where it stands, handed up as data for the views above,
// and the key and tempo they set. Every call comes from the GUI thread.
#include "platform/mci/mci.h"
#include "platform/midi/channels.h"
#include "platform/midi/words.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mci {

// What a song is, read once as it opens.
struct SongParts {
    std::shared_ptr<const midi::Song> song; // its events, as the player plays them
    std::shared_ptr<const midi::Words> words; // with their times; empty where it has none
    std::vector<midi::ChannelUse> channels; // those it plays, in channel order
    int melody = -1; // the channel found to sing its words; -1: none
    // Of the file's bytes, in hex: the same for a copy, a rename or a move.
    std::string digest;
};

class Singer {
public:
    // The song as read; none while it is still read. The same for as long
    // as the song is open.
    virtual std::shared_ptr<const SongParts> parts() = 0;
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

    // Bit C set: channel C (0 to 15) is SILENCED (its notes sounding end at
    // once, its next ones are not played) or QUIET (about 12 dB down). Both
    // hold until another file opens.
    virtual void setChannels(uint16_t silenced, uint16_t quiet) = 0;
    // Played from before END, the song goes from END back to BEGIN
    // (microseconds of its own time) without a gap, until cleared or
    // another file opens.
    virtual void setLoop(uint64_t beginMicros, uint64_t endMicros) = 0;
    virtual void clearLoop() = 0;
    // While on, levels() tells how loud each channel's notes sound now, 0
    // to 127; off, it costs nothing.
    virtual void setMetering(bool on) = 0;
    virtual std::array<uint8_t, 16> levels() = 0;

protected:
    ~Singer() = default;
};

} // namespace mci
