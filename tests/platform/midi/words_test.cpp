// The words of karaoke songs as the reader finds them in songs built here.
#include "platform/midi/words.h"

#include "tests/support/smf_builder.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace smf_builder;

namespace {

// 480 ticks a quarter at the default 120 a minute: a tick is 1,041.67 us.
constexpr uint64_t kQuarterUs = 500000;

midi::Words wordsOf(const std::string& bytes)
{
    midi::Song song;
    std::string error;
    EXPECT_TRUE(midi::parseSong({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, song, error)) << error;
    return midi::readWords(song);
}

std::vector<std::string> syllables(const midi::Words& w)
{
    std::vector<std::string> out;
    for (const midi::Syllable& s : w.syllables)
        out.push_back(w.text.substr(s.begin, s.end - s.begin));
    return out;
}

Track notes()
{
    return Track().ev(0, {0x90, 60, 100}).ev(1920, {0x80, 60, 0}).end();
}

// SYLLABLES of TYPE (1 text, 5 lyric) added to T, STEP ticks apart, the
// first FIRST ticks after what T holds.
Track& sung(Track& t, int type, const std::vector<std::string>& syllables, uint32_t first = 0, uint32_t step = 240)
{
    for (size_t i = 0; i < syllables.size(); ++i)
        t.meta(i == 0 ? first : step, type, syllables[i]);
    return t;
}

// The words as the window shows them, put together from the lines and their
// syllables: an empty line before each paragraph but the first.
std::string shown(const midi::Words& w)
{
    std::string out;
    for (size_t i = 0; i < w.lines.size(); ++i) {
        if (w.lines[i].startsParagraph && i > 0)
            out += '\n';
        for (uint32_t s = w.lines[i].firstSyllable; s < w.lines[i].endSyllable; ++s)
            out += w.text.substr(w.syllables[s].begin, w.syllables[s].end - w.syllables[s].begin);
        out += '\n';
    }
    return out;
}

// The karaoke conventions as real songs have them. A score editor's export:
// the lyrics beside the melody's notes, the marks in them, at 100 a minute
// (300 ms a syllable).
std::string scoreExport()
{
    Track melody;
    melody.meta(0, 3, "Melody").ev(0, {0xC0, 73});
    for (const char* syllable : {"Lei", "se ", "fle", "hen ", "/Durch ", "die ", "Nacht, ", "/In ", "den"})
        melody.meta(0, 5, syllable).ev(0, {0x90, 67, 90}).ev(240, {0x80, 67, 0});
    return file(1, 480, {Track().tempo(0, 600000).end(), melody.end()});
}

// Marks and carriage returns together, one return in an event of its own,
// and the title as an @ lyric.
std::string marksAndReturns()
{
    Track praise;
    sung(praise.meta(0, 3, "Words").meta(0, 5, "@THallelujah"), 5, {"Hal", "le", "lu", "jah,"})
        .meta(120, 5, "\r")
        .meta(120, 5, "\\Hal");
    sung(praise, 5, {"le", "lu", "jah\r", "/Hal", "le", "lu", "jah"}, 240).meta(0, 5, "\n");
    return file(1, 480, {notes(), praise.end()});
}

// A .kar: the header and version in tracks of their own, a remark beside the
// melody, the song's information and its words in Windows-1252.
std::string softKaraoke()
{
    Track kar;
    kar.meta(0, 3, "Words").meta(0, 1, "@LGERM").meta(0, 1, "@TSt\xE4ndchen").meta(0, 1, "@TFranz Schubert");
    sung(kar, 1, {"\\Lei", "se ", "fle", "hen ", "/Durch ", "die ", "Nacht"});
    Track melody;
    melody.meta(0, 3, "Melody").meta(0, 1, "Sequenced by Anon").ev(0, {0x90, 67, 90}).ev(1920, {0x80, 67, 0});
    return file(1, 480,
        {Track().tempo(0, 600000).meta(0, 1, "@KMIDI KARAOKE FILE").end(), Track().meta(0, 1, "@V0100").end(),
            melody.end(), kar.end()});
}

// The words twice, their title too: as marked texts and as plain lyrics, or
// (TWICE false) as marked texts beside a lone lyric, the song's name.
std::string amazingGrace(bool twice)
{
    Track texts, lyrics;
    sung(texts.meta(0, 1, "@TAmazing Grace"), 1, {"\\A", "ma", "zing ", "grace, ", "how ", "sweet ", "/the ", "sound"});
    if (twice) {
        sung(lyrics.meta(0, 3, "Lyrics").meta(0, 5, "@TAmazing Grace"), 5,
            {"A", "ma", "zing ", "grace, ", "how ", "sweet ", "the ", "sound"});
        return file(1, 480, {notes(), texts.end(), lyrics.end()});
    }
    const Track named = Track().meta(0, 5, "Amazing Grace").ev(0, {0x90, 60, 100}).ev(1920, {0x80, 60, 0}).end();
    return file(1, 480, {named, texts.end()});
}

// The words whole as lyrics, no line marked; as texts, fewer of them but
// with their lines marked.
std::string lyricsBesideMarkedTexts()
{
    Track texts, lyrics;
    sung(texts.meta(0, 1, "@TAmazing Grace"), 1, {"\\A", "ma", "zing ", "/grace, ", "/how ", "/sweet "});
    sung(lyrics, 5, {"A", "ma", "zing ", "grace, ", "how ", "sweet ", "the ", "sound"});
    return file(1, 480, {notes(), texts.end(), lyrics.end()});
}

// As many texts as lyrics, the texts' track named, the lyrics' lines
// marked more often: a track's name is none of its syllables.
std::string namedTextsBesideLyrics()
{
    Track texts, lyrics;
    sung(texts.meta(0, 3, "Words"), 1, {"\\A", "ma", "zing ", "grace, ", "how ", "sweet ", "/the ", "sound"});
    sung(lyrics, 5, {"A", "ma", "zing ", "grace,\r", "how ", "sweet\r", "the ", "sound\r"});
    return file(1, 480, {notes(), texts.end(), lyrics.end()});
}

std::vector<int> msOf(const midi::Words& w)
{
    std::vector<int> ms;
    for (const midi::Syllable& s : w.syllables)
        ms.push_back(static_cast<int>(s.micros / 1000));
    return ms;
}

} // namespace

TEST(Words, KaraokeTextsMarkParagraphsAndLinesAndCarryTheSongsInformation)
{
    const std::string kar = file(1, 480,
        {Track().meta(0, 1, "@KMIDI KARAOKE FILE").end(), notes(),
            Track()
                .meta(0, 1, "@LENGL")
                .meta(0, 1, "@TMy Song")
                .meta(0, 1, "@TThe Singer")
                .meta(0, 1, "\\Hel")
                .meta(480, 1, "lo ")
                .meta(480, 1, "/world")
                .meta(480, 1, "\\Sec")
                .meta(240, 1, "ond")
                .end()});
    const midi::Words w = wordsOf(kar);
    EXPECT_EQ(w.text, "Hello \nworld\n\nSecond\n");
    EXPECT_EQ(syllables(w), (std::vector<std::string> {"Hel", "lo ", "world", "Sec", "ond"}));
    ASSERT_EQ(w.lines.size(), 3u);
    EXPECT_EQ(w.lineText(w.lines[1]), "world");
    EXPECT_TRUE(w.lines[0].startsParagraph);
    EXPECT_FALSE(w.lines[1].startsParagraph);
    EXPECT_TRUE(w.lines[2].startsParagraph);
    EXPECT_EQ(w.lines[2].firstSyllable, 3u);
    EXPECT_EQ(w.lines[2].endSyllable, 5u);
    EXPECT_EQ(w.lineOf(2), 1u);
    EXPECT_EQ(w.syllables[1].micros, kQuarterUs);
    EXPECT_EQ(w.syllables[4].micros, 3 * kQuarterUs + kQuarterUs / 2);
    EXPECT_EQ(w.title, "My Song");
    EXPECT_EQ(w.information, (std::vector<std::string> {"KMIDI KARAOKE FILE", "LENGL", "TMy Song", "TThe Singer"}));

    EXPECT_EQ(w.sungBy(0), 1u);
    EXPECT_EQ(w.sungBy(kQuarterUs - 1), 1u);
    EXPECT_EQ(w.sungBy(kQuarterUs), 2u);
    EXPECT_EQ(w.sungBy(10 * kQuarterUs), 5u);
}

TEST(Words, LyricEventsBreakAtReturnsAndFeedsAndWinOverTexts)
{
    // The melody's track repeats the words: they are shown once.
    const std::string song = file(1, 480,
        {Track().meta(0, 1, "Sequenced by someone").meta(0, 1, "/not words").end(), notes(),
            Track().meta(0, 5, "One ").meta(480, 5, "two\r").meta(480, 5, "three\n").meta(480, 5, "\rfour").end(),
            Track().meta(0, 5, "One ").meta(480, 5, "two").end()});
    const midi::Words w = wordsOf(song);
    EXPECT_EQ(w.text, "One two\nthree\n\nfour\n");
    EXPECT_EQ(syllables(w), (std::vector<std::string> {"One ", "two", "three", "four"}));
    ASSERT_EQ(w.lines.size(), 3u);
    EXPECT_TRUE(w.lines[2].startsParagraph);
    EXPECT_EQ(w.syllables[3].micros, 3 * kQuarterUs);
}

TEST(Words, APlainSongsTextsAreNoWords)
{
    const midi::Words w = wordsOf(
        file(1, 480, {Track().meta(0, 1, "Copyright 1998").meta(0, 1, "GM song").meta(0, 3, "Piano").end(), notes()}));
    EXPECT_TRUE(w.empty());
    EXPECT_TRUE(w.text.empty());
}

TEST(Words, ValidUtf8StaysAndAnythingElseIsWindows1252)
{
    const auto lyricsOf = [](std::initializer_list<std::string> texts) {
        Track t;
        for (const std::string& text : texts)
            t.meta(10, 5, text);
        return wordsOf(file(0, 480, {t.end()})).text;
    };
    EXPECT_EQ(lyricsOf({"Gr\xC3\xBC\xC3\x9F ", "\xE2\x82\xAC"}), "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC\n");
    // One event that is no UTF-8 makes the song's words Windows-1252 throughout.
    EXPECT_EQ(lyricsOf({"\xC3\xA9", " Gr\xFC\xDF \x80 \x93q\x94"}),
        "\xC3\x83\xC2\xA9 Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D\n");

    const std::string undefined = "\x81\x8D\x8F\x90\x9D";
    for (int b = 0x80; b <= 0xFF; ++b) {
        const std::string one(1, static_cast<char>(b));
        const std::string decoded = midi::fromWindows1252(one);
        EXPECT_TRUE(midi::isValidUtf8(decoded)) << b;
        EXPECT_EQ(decoded == "\xEF\xBF\xBD", undefined.find(one) != std::string::npos) << b;
    }
    for (const char* invalid : {"\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "\xFF"})
        EXPECT_FALSE(midi::isValidUtf8(invalid)) << invalid;
}

TEST(Words, HostileWordsAreReadSafelyAsFarAsTheyGo)
{
    // A NUL ends a text. A 64 KiB text comes in lines the window lays out in
    // its time, cut between words, all sung at its time and none lost.
    std::string big;
    while (big.size() < 64 * 1024)
        big += "karaoke ";
    midi::Words w
        = wordsOf(file(0, 480, {Track().meta(0, 5, std::string("ab\0cd", 5)).meta(0, 5, "\r").meta(5, 5, big).end()}));
    std::vector<std::string> got = syllables(w);
    ASSERT_GT(got.size(), 2u);
    EXPECT_EQ(got.front(), "ab");
    std::string joined;
    for (size_t i = 1; i < got.size(); ++i) {
        joined += got[i];
        EXPECT_EQ(got[i].back(), ' ');
        EXPECT_EQ(w.syllables[i].micros, w.syllables[1].micros);
    }
    EXPECT_EQ(joined, big);
    for (const midi::WordsLine& line : w.lines)
        ASSERT_LE(line.end - line.begin, midi::kHardLineBytes);

    // A letter under 200,000 accents keeps a few of them.
    std::string zalgo = "a";
    for (int i = 0; i < 200000; ++i)
        zalgo += "\xCC\x81";
    w = wordsOf(file(0, 480, {Track().meta(0, 5, zalgo + "b").end()}));
    std::string kept = "a";
    for (int i = 0; i < midi::kMostMarks; ++i)
        kept += "\xCC\x81";
    EXPECT_EQ(w.text, kept + "b\n");

    // 100,000 one-byte syllables at one tick: still lines, read in good
    // time, each line sung as one.
    Track many;
    for (int i = 0; i < 100000; ++i)
        many.meta(0, 5, i % 7 == 6 ? " " : "x");
    const std::string manyBytes = file(0, 480, {many.end()});
    const auto start = std::chrono::steady_clock::now();
    w = wordsOf(manyBytes);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(w.text.size(), 100000 + w.lines.size());
    EXPECT_EQ(w.syllables.size(), w.lines.size());
    EXPECT_EQ(w.sungBy(0), w.syllables.size());
    for (const midi::WordsLine& line : w.lines)
        ASSERT_LE(line.end - line.begin, midi::kHardLineBytes);

    // A file cut in the middle of a lyric keeps the words before it.
    std::string cut = file(0, 480, {Track().meta(0, 5, "kept ").meta(10, 5, "lost in the cut").end()});
    cut.resize(cut.size() - 10);
    w = wordsOf(cut);
    EXPECT_EQ(w.text, "kept \n");

    // Invalid UTF-8 and control characters never come out.
    w = wordsOf(file(0, 480, {Track().meta(0, 1, "@T\xFF\x01Title").meta(0, 1, "\\\xC3\x28\x7F\x1B").end()}));
    EXPECT_TRUE(midi::isValidUtf8(w.text));
    EXPECT_EQ(w.title, "\xC3\xBFTitle");
    EXPECT_EQ(w.text, "\xC3\x83(\n");
}

TEST(Words, EachKaraokeConventionReadsAsItsLinesParagraphsAndTimes)
{
    const std::vector<std::string> grace = {"A", "ma", "zing ", "grace, ", "how ", "sweet ", "the ", "sound"};
    const std::vector<int> graceMs = {0, 250, 500, 750, 1000, 1250, 1500, 1750};
    struct Convention {
        const char* what;
        std::string song;
        std::string text;
        std::vector<std::string> syllables;
        std::vector<int> ms;
        std::string title;
    };
    const Convention conventions[] = {
        {"marks in lyrics", scoreExport(), "Leise flehen \nDurch die Nacht, \nIn den\n",
            {"Lei", "se ", "fle", "hen ", "Durch ", "die ", "Nacht, ", "In ", "den"},
            {0, 300, 600, 900, 1200, 1500, 1800, 2100, 2400}, ""},
        {"marks and returns", marksAndReturns(), "Hallelujah,\n\nHallelujah\nHallelujah\n",
            {"Hal", "le", "lu", "jah,", "Hal", "le", "lu", "jah", "Hal", "le", "lu", "jah"},
            {0, 250, 500, 750, 1000, 1250, 1500, 1750, 2000, 2250, 2500, 2750}, "Hallelujah"},
        {".kar", softKaraoke(), "Leise flehen \nDurch die Nacht\n",
            {"Lei", "se ", "fle", "hen ", "Durch ", "die ", "Nacht"}, {0, 300, 600, 900, 1200, 1500, 1800},
            "St\xC3\xA4ndchen"},
        {"texts and lyrics alike", amazingGrace(true), "Amazing grace, how sweet \nthe sound\n", grace, graceMs,
            "Amazing Grace"},
        {"texts beside a lyric", amazingGrace(false), "Amazing grace, how sweet \nthe sound\n", grace, graceMs,
            "Amazing Grace"},
        {"more lyrics than marked texts", lyricsBesideMarkedTexts(), "Amazing grace, how sweet the sound\n", grace,
            graceMs, "Amazing Grace"},
        {"lyrics beside named texts", namedTextsBesideLyrics(), "Amazing grace,\nhow sweet\nthe sound\n",
            {"A", "ma", "zing ", "grace,", "how ", "sweet", "the ", "sound"}, graceMs, ""},
    };
    for (const Convention& c : conventions) {
        const midi::Words w = wordsOf(c.song);
        EXPECT_EQ(w.text, c.text) << c.what;
        EXPECT_EQ(shown(w), c.text) << c.what;
        EXPECT_EQ(syllables(w), c.syllables) << c.what;
        EXPECT_EQ(msOf(w), c.ms) << c.what;
        EXPECT_EQ(w.title, c.title) << c.what;
    }
    EXPECT_EQ(wordsOf(amazingGrace(true)).information, std::vector<std::string> {"TAmazing Grace"});
}

// Lyrics as a .kar has them, each with its blank, and a mark after a line's
// last syllable: it ends the line, or the verse, and never shows.
TEST(Words, AMarkAfterASyllableBreaksAfterIt)
{
    Track verse;
    verse.meta(0, 3, "Words");
    sung(verse, 5,
        {"Twin", "kle ", "twin", "kle ", "lit", "tle ", "star, ", "/How ", "I ", "won", "der ", "what ", "you ",
            "are./ ", "Up ", "a", "bove ", "the ", "world ", "so ", "high, ", "/Like ", "a ", "dia", "mond ", "in ",
            "the ", "sky.\\ ", "Twin", "kle ", "twin", "kle ", "lit", "tle ", "star, ", "/How ", "I ", "won", "der ",
            "what ", "you ", "are./ ", "When ", "the ", "sun ", "is ", "gone"});
    const midi::Words w = wordsOf(file(1, 480, {notes(), verse.end()}));
    const std::string text
        = "Twinkle twinkle little star, \nHow I wonder what you are. \nUp above the world so high, \n"
          "Like a diamond in the sky. \n\nTwinkle twinkle little star, \nHow I wonder what you are. \n"
          "When the sun is gone\n";
    EXPECT_EQ(w.text, text);
    EXPECT_EQ(shown(w), text);
    EXPECT_EQ(w.syllables.size(), 47u);
    EXPECT_EQ(w.syllables[14].micros, 14 * kQuarterUs / 2);
}
