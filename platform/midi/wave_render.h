#pragma once
// A song written to a wave file as the built-in synthesizer plays it, with
// the singer's key, tempo and channels: a backing track to practise with
// anywhere. Rendered as fast as the machine goes, on the caller's thread.
#include "platform/midi/smf.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace midi {

struct WaveRender {
    std::string soundfont;
    int sampleRate = 44100;
    int transpose = 0; // semitones
    int tempo = 100; // percent of the song's own
    uint16_t silenced = 0; // bit C: channel C plays no notes
    uint16_t quiet = 0; // bit C: channel C about 12 dB down
};

// Writes SONG to PATH as RENDER says, then its reverb until it has died
// away: 16-bit stereo PCM, whole or not at all (a temporary file placed at
// the end; an existing PATH is replaced only where REPLACE). GO_ON is told
// the share done, 0 to 1, every little while; false from it cancels. False
// with ERROR, and nothing left behind, when it cannot or was cancelled.
bool writeWave(std::shared_ptr<const Song> song, const WaveRender& render, const std::string& path, bool replace,
    const std::function<bool(double done)>& goOn, std::string& error);

} // namespace midi
