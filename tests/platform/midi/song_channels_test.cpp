// What a song's channels play, which of them carries the sung melody, and
// the key that fits it to a voice, on songs built here.
#include "platform/midi/channels.h"
#include "platform/midi/instruments.h"
#include "platform/midi/melody.h"

#include "tests/support/karaoke_song.h"
#include "tests/support/smf_builder.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace smf_builder;

namespace {

midi::Song parse(const std::string& file)
{
    midi::Song song;
    std::string error;
    EXPECT_TRUE(midi::parseSong({reinterpret_cast<const uint8_t*>(file.data()), file.size()}, song, error)) << error;
    return song;
}

struct Shown {
    int channel;
    bool drums;
    int program, bankMsb, bankLsb;
    std::string instrument, trackName;
    uint32_t notes;
    int lowest, highest;
    bool operator==(const Shown&) const = default;
};

std::vector<Shown> shown(const midi::Song& song)
{
    std::vector<Shown> out;
    for (const midi::ChannelUse& c : midi::channelsOf(song))
        out.push_back({c.channel, c.drums, c.program, c.bankMsb, c.bankLsb, c.instrument, c.trackName, c.notes,
            c.lowest, c.highest});
    return out;
}

void PrintTo(const Shown& s, std::ostream* os)
{
    *os << "{" << s.channel << (s.drums ? " drums" : "") << " program " << s.program << " bank " << s.bankMsb << "/"
        << s.bankLsb << " \"" << s.instrument << "\" \"" << s.trackName << "\" " << s.notes << " notes " << s.lowest
        << ".." << s.highest << "}";
}

Track& note(Track& t, uint32_t delta, int channel, int key, uint32_t length = 240)
{
    return t.ev(delta, {0x90 | channel, key, 100}).ev(length, {0x80 | channel, key, 0});
}

// A GS "use for rhythm part" packet for part block BLOCK, with its checksum
// (or a wrong one).
std::string rhythmPart(int block, int map, bool goodSum = true)
{
    const int sum = (128 - (0x40 + block + 0x15 + map) % 128) % 128;
    return bytes({0x41, 0x10, 0x42, 0x12, 0x40, block, 0x15, map, goodSum ? sum : (sum + 1) % 128, 0xF7});
}

std::string fitsOf(const midi::Song& song, const midi::Words& words)
{
    std::ostringstream out;
    for (const midi::MelodyFit& f : midi::melodyFits(song, words))
        out << " [" << f.channel << ": recall " << f.recall << " precision " << f.precision << " score " << f.score
            << "]";
    return out.str();
}

// The channel found in the song SHAPE describes, and how well each fitted.
std::pair<int, std::string> melodyOf(const karaoke_song::Shape& shape)
{
    const midi::Song song = parse(karaoke_song::build(shape));
    const midi::Words words = midi::readWords(song);
    EXPECT_GT(words.syllables.size(), 80u);
    return {midi::findMelody(song, words), fitsOf(song, words)};
}

} // namespace

// A GM song: the program chosen by the first note counts, from any track,
// the later track's where two choose at one tick; a channel split over
// tracks takes its busiest track's name; names in Windows-1252 read as the
// words do.
TEST(SongChannels, ShowWhatAGmSongPlaysAndWhere)
{
    Track conductor, piano, strings, more, drums, silent;
    conductor.meta(0, 3, "Title").tempo(0, 500000).ev(0, {0xC1, 0}).end();
    note(piano.meta(0, 3, "Klavier f\xFCr Anna").ev(0, {0xC0, 0}), 0, 0, 60);
    note(piano, 0, 0, 72).ev(0, {0xC0, 6}).ev(0, {0x90, 48, 0}).end(); // too late; a note-on of no velocity
    note(strings.meta(0, 3, "  Strings \x01"), 480, 1, 55);
    note(strings, 0, 1, 67);
    note(strings, 0, 1, 62).end();
    note(more.meta(0, 3, "Also strings").ev(0, {0xC1, 48}), 960, 1, 43).end();
    note(drums.meta(0, 3, "Drums"), 0, 9, 36);
    note(drums, 0, 9, 42).end();
    silent.meta(0, 3, "Unused").ev(0, {0xC2, 40}).end();
    const midi::Song song = parse(file(1, 480, {conductor, piano, more, strings, drums, silent}));
    EXPECT_EQ(shown(song),
        (std::vector<Shown> {
            {0, false, 0, 0, 0, "Acoustic Grand Piano", "Klavier f\xC3\xBCr Anna", 2, 60, 72},
            {1, false, 48, 0, 0, "String Ensemble 1", "Strings", 4, 43, 67},
            {9, true, -1, 0, 0, "Standard Kit", "Drums", 2, 36, 42},
        }));
}

// A GS song: a bank's variation shows as its program's GM instrument, a
// rhythm channel by its kit, and a part the song makes a rhythm part by
// SysEx, when its checksum is right, as drums.
TEST(SongChannels, ShowAGsSongsVariationsKitsAndRhythmParts)
{
    Track setup, parts;
    setup.sysex(0, 0xF0, bytes({0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}))
        .sysex(0, 0xF0, rhythmPart(0x12, 1)) // channel 2
        .sysex(0, 0xF0, rhythmPart(0x1A, 2)) // channel 11
        .sysex(0, 0xF0, rhythmPart(0x1B, 1, false)) // channel 12, refused
        .end();
    parts.ev(0, {0xB0, 0, 8}).ev(0, {0xB0, 32, 1}).ev(0, {0xC0, 4}).ev(0, {0xC9, 25}).ev(0, {0xCA, 40});
    parts.ev(0, {0xC3, 5}).ev(0, {0xB3, 0, 127}).ev(0, {0xC1, 16});
    note(parts, 0, 0, 64);
    note(parts, 0, 1, 35);
    note(parts, 0, 9, 36);
    note(parts, 0, 10, 38);
    note(parts, 0, 11, 60);
    note(parts, 0, 3, 50).end();
    const midi::Song song = parse(file(1, 480, {setup, parts}));
    EXPECT_EQ(shown(song),
        (std::vector<Shown> {
            {0, false, 4, 8, 1, "Electric Piano 1", "", 1, 64, 64},
            {1, true, 16, 0, 0, "Power Kit", "", 1, 35, 35},
            {3, false, 5, 127, 0, "Electric Piano 2", "", 1, 50, 50},
            {9, true, 25, 0, 0, "TR-808 Kit", "", 1, 36, 36},
            {10, true, 40, 0, 0, "Brush Kit", "", 1, 38, 38},
            {11, false, -1, 0, 0, "Acoustic Grand Piano", "", 1, 60, 60},
        }));
    EXPECT_EQ(midi::drumKitName(5), "Drum Kit 5");
    EXPECT_EQ(midi::drumKitName(127), "CM-64/32L Kit");
    EXPECT_EQ(midi::gmInstrumentName(127), "Gunshot");
}

// The melody doubled on one channel, which also plays the intro and the
// solos, while chords, bass, a pad and a strummed guitar play on the beats
// the syllables fall on; a few of its notes sung to one syllable, a few
// syllables off any note.
TEST(Melody, IsTheChannelWhoseNoteStartsAreTheSyllables)
{
    for (unsigned seed = 1; seed <= 8; ++seed) {
        const auto [found, fits] = melodyOf({.seed = seed});
        EXPECT_EQ(found, karaoke_song::kMelody) << "seed " << seed << fits;
    }
}

// Without the melody the band still starts notes with many of the syllables,
// the guitar and the arpeggio with nearly all: none of them sings. Nor
// does any channel sing words at random times.
TEST(Melody, IsNoneWhereNoChannelFollowsTheWords)
{
    for (unsigned seed = 1; seed <= 8; ++seed) {
        for (const karaoke_song::Shape& shape : {karaoke_song::Shape {.melody = false, .seed = seed},
                 karaoke_song::Shape {.sung = karaoke_song::Sung::AtRandom, .seed = seed}}) {
            const auto [found, fits] = melodyOf(shape);
            EXPECT_EQ(found, -1) << (shape.melody ? "words at random times" : "without the melody") << ", seed " << seed
                                 << fits;
        }
    }
    EXPECT_EQ(midi::findMelody(parse(karaoke_song::build({})), midi::Words {}), -1) << "no words";
}

TEST(KeyForVoice, IsTheSmallestShiftThatFitsElseTheCentre)
{
    EXPECT_EQ(midi::keyForVoice(60, 72, 60, 72), 0); // fits as it is
    EXPECT_EQ(midi::keyForVoice(55, 67, 60, 76), 5); // up to its lowest note
    EXPECT_EQ(midi::keyForVoice(65, 79, 60, 76), -3); // down to its highest
    EXPECT_EQ(midi::keyForVoice(58, 62, 60, 79), 2); // not up to the middle
    EXPECT_EQ(midi::keyForVoice(48, 76, 55, 67), -1); // too wide: centred
    EXPECT_EQ(midi::keyForVoice(36, 40, 72, 84), 12); // too far: as far as it goes
    EXPECT_EQ(midi::keyForVoice(72, 60, 60, 72), 0);
}

TEST(NoteNames, ReadAndWriteMiddleCAsC4)
{
    for (int note = 0; note < 128; ++note)
        EXPECT_EQ(midi::noteFromName(midi::noteName(note)), note) << midi::noteName(note);
    EXPECT_EQ(midi::noteName(60), "C4");
    EXPECT_EQ(midi::noteName(61), "C#4");
    EXPECT_EQ(midi::noteName(0), "C-1");
    EXPECT_EQ(midi::noteFromName("c2"), 36);
    EXPECT_EQ(midi::noteFromName(" a4 "), 69);
    EXPECT_EQ(midi::noteFromName("Eb4"), 63);
    EXPECT_EQ(midi::noteFromName("f#6"), 90);
    for (const char* bad : {"", "H4", "C", "C10", "C#", "G#9", "Cb-1", "C4x", "4"})
        EXPECT_EQ(midi::noteFromName(bad), std::nullopt) << bad;
    EXPECT_EQ(midi::noteName(128), "");
}
