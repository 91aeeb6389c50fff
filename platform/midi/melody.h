#pragma once
// The channel of a karaoke song that carries the sung melody, so that it can
// be muted or made quiet, and the key that fits that melody to a voice.
// Plain C++ with no other library, as the file reader is.
#include "platform/midi/smf.h"
#include "platform/midi/words.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace midi {

// How well one channel's note starts follow the syllables' starts. Recall is
// the share of syllables that start with a note, precision the share of the
// channel's note starts while singing that start with a syllable; each as
// far above what notes and syllables at random times would reach, 0 for
// chance and 1 for all. The score is their harmonic mean.
struct MelodyFit {
    int channel;
    double recall;
    double precision;
    double score;
};

// Every channel but the rhythm parts that plays a note, in channel order;
// none without words.
std::vector<MelodyFit> melodyFits(const Song& song, const Words& words);

// The channel that sings the words: the one whose note starts coincide best
// with the syllables' starts, counted both ways. -1 when none follows the
// words well enough.
int findMelody(const Song& song, const Words& words);

// The smallest transposition (semitones, within ±12) that puts [LOW, HIGH]
// inside [VOICE_LOW, VOICE_HIGH]; where it cannot fit, the one that centres
// it. 0 for a range whose ends are the wrong way round.
int keyForVoice(int low, int high, int voiceLow, int voiceHigh);

// "C4" is 60 (middle C), "C#4" 61, "Db4" too; the letter in either case, and
// octaves from -1 to 9. Nothing for any other text or for a note past 0..127.
std::optional<int> noteFromName(std::string_view name);
// The name of NOTE, 0..127, with sharps; empty for any other number.
std::string noteName(int note);

} // namespace midi
