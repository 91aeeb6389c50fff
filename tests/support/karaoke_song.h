#pragma once
// Karaoke songs built as real ones are: a band of chords, bass, strummed
// guitar, an arpeggio, a pad and drums on the beats and between, the melody
// doubled by an instrument of its own that also plays the intro and the
// solos, and the words in a track of their own with a syllable on most of
// the melody's notes.
#include "tests/support/smf_builder.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace karaoke_song {

// The channels of the band (0-based, as files number them).
inline constexpr int kChords = 0, kBass = 1, kGuitar = 2, kMelody = 3, kPad = 4, kArpeggio = 5, kDrums = 9;

enum class Sung {
    WithTheMelody, // a syllable on most melody notes, a few off any note
    AtRandom, // as many syllables, at times that follow nothing
};

struct Shape {
    int verses = 2; // each four phrases of four bars, a solo of eight after
    bool melody = true; // false: the band alone, the words still there
    Sung sung = Sung::WithTheMelody;
    unsigned seed = 1;
};

inline constexpr uint32_t kEighth = 240; // 480 ticks a quarter, 120 a minute
inline constexpr uint32_t kBar = 8 * kEighth;

namespace detail {

struct At {
    uint32_t tick;
    std::string bytes;
};

inline smf_builder::Track trackOf(std::vector<At> events)
{
    std::stable_sort(events.begin(), events.end(), [](const At& a, const At& b) { return a.tick < b.tick; });
    smf_builder::Track t;
    uint32_t now = 0;
    for (const At& e : events) {
        t.raw(smf_builder::vlq(e.tick - now) + e.bytes);
        now = e.tick;
    }
    return t.end();
}

inline std::string meta(int type, const std::string& text)
{
    return smf_builder::bytes({0xFF, type}) + smf_builder::vlq(static_cast<uint32_t>(text.size())) + text;
}

inline void note(std::vector<At>& out, int channel, uint32_t tick, uint32_t length, int key, int velocity = 90)
{
    out.push_back({tick, smf_builder::bytes({0x90 | channel, key, velocity})});
    out.push_back({tick + length, smf_builder::bytes({0x80 | channel, key, 0})});
}

inline std::vector<At> named(const std::string& name, int channel = -1, int program = -1)
{
    std::vector<At> out {{0, meta(3, name)}};
    if (program >= 0)
        out.push_back({0, smf_builder::bytes({0xC0 | channel, program})});
    return out;
}

// Where a bar's melody notes start and how long they last, in eighths: on
// and off the beat, held over beats, a rest on the one.
struct Figure {
    std::vector<std::pair<int, int>> notes;
};
inline const std::vector<Figure>& figures()
{
    static const std::vector<Figure> all = {
        {{{0, 2}, {2, 1}, {3, 1}, {4, 2}, {6, 2}}},
        {{{0, 1}, {1, 2}, {3, 1}, {4, 3}, {7, 1}}},
        {{{0, 6}, {6, 1}, {7, 1}}},
        {{{1, 1}, {2, 1}, {3, 1}, {4, 4}}},
        {{{0, 3}, {3, 3}, {6, 2}}},
    };
    return all;
}
inline const Figure kPhraseEnd {{{0, 4}}};

} // namespace detail

// The song as a Standard MIDI File: a conductor track, the words, then the
// melody (when it has one), chords, bass, guitar, pad, arpeggio and drums.
inline std::string build(const Shape& shape)
{
    using namespace detail;
    std::mt19937 rng(shape.seed);
    const int roots[] = {60, 65, 67, 69, 62, 64};
    std::vector<At> words = named("Words"), melody = named("Melody", kMelody, 73), chords = named("Piano", kChords, 0),
                    bass = named("Bass", kBass, 33), guitar = named("Guitar", kGuitar, 25),
                    pad = named("Strings", kPad, 48), arpeggio = named("Synth", kArpeggio, 81), drums = named("Drums");
    std::vector<uint32_t> syllables;
    int key = 67;
    uint32_t bar = 0;
    // A melody bar: its notes, and where words are sung, a syllable on most.
    const auto play = [&](const Figure& f, bool sing) {
        for (size_t i = 0; i < f.notes.size(); ++i) {
            const uint32_t at = bar * kBar + static_cast<uint32_t>(f.notes[i].first) * kEighth;
            const auto length = static_cast<uint32_t>(f.notes[i].second) * kEighth;
            key = std::clamp(key + static_cast<int>(rng() % 7) - 3, 60, 79);
            note(melody, kMelody, at, length - 20, key);
            if (!sing)
                continue;
            if (i > 0 && rng() % 10 == 0)
                continue; // a note of a melisma: the syllable before goes on
            // Words put in by hand: up to 20 ms early or late.
            syllables.push_back(at + rng() % 41 - 20);
            if (length >= 3 * kEighth && rng() % 3 == 0)
                syllables.push_back(at + 2 * kEighth + kEighth / 2); // sung on, off any note
        }
    };
    const auto band = [&](int bars) {
        for (int b = 0; b < bars; ++b, ++bar) {
            const int root = roots[(bar / 2) % 6];
            const uint32_t start = bar * kBar;
            for (uint32_t beat = 0; beat < 4; ++beat)
                for (const int step : {0, 4, 7})
                    note(chords, kChords, start + beat * 2 * kEighth, 2 * kEighth - 30, root - 12 + step, 70);
            note(bass, kBass, start, 4 * kEighth - 30, root - 24);
            note(bass, kBass, start + 4 * kEighth, 4 * kEighth - 30, root - 24);
            for (uint32_t eighth = 0; eighth < 8; ++eighth)
                for (const uint32_t string : {0u, 1u, 2u}) // strummed: a string every 8 ms
                    note(guitar, kGuitar, start + eighth * kEighth + string * 8, kEighth - 40,
                        root - 12 + static_cast<int>(string) * 7, 60);
            for (uint32_t sixteenth = 0; sixteenth < 16; ++sixteenth)
                note(arpeggio, kArpeggio, start + sixteenth * kEighth / 2, kEighth / 2 - 10,
                    root + 12 + static_cast<int>(sixteenth % 4) * 4 % 12, 50);
            for (const int step : {0, 4, 7})
                note(pad, kPad, start, kBar - 10, root + step, 50);
            for (uint32_t e = 0; e < 8; ++e)
                note(drums, kDrums, start + e * kEighth, kEighth / 2, e % 4 == 0 ? 36 : e % 4 == 2 ? 38 : 42, 80);
        }
    };
    const auto melodyBars = [&](int bars, bool sing) {
        for (int b = 0; b < bars; ++b) {
            const bool phraseEnd = sing && b % 4 == 3;
            play(phraseEnd ? kPhraseEnd : figures()[rng() % figures().size()], sing);
            band(1);
        }
    };
    melodyBars(4, false); // the melody's instrument leads in
    for (int v = 0; v < shape.verses; ++v) {
        melodyBars(16, true);
        melodyBars(8, false); // and plays a solo after each verse
    }
    band(1);

    if (shape.sung == Sung::AtRandom) {
        const uint32_t first = syllables.front(), span = syllables.back() - first;
        for (uint32_t& at : syllables)
            at = first + static_cast<uint32_t>(rng() % span);
        std::sort(syllables.begin(), syllables.end());
    }
    for (size_t i = 0; i < syllables.size(); ++i)
        words.push_back({syllables[i], meta(5, i % 8 == 7 ? "la\r" : "la ")});

    std::vector<smf_builder::Track> tracks {
        smf_builder::Track().meta(0, 3, "A Karaoke Song").tempo(0, 500000).end(), trackOf(words)};
    if (shape.melody)
        tracks.push_back(trackOf(melody));
    for (auto* part : {&chords, &bass, &guitar, &pad, &arpeggio, &drums})
        tracks.push_back(trackOf(*part));
    return smf_builder::file(1, 480, tracks);
}

} // namespace karaoke_song
