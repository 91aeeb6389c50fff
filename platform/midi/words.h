#pragma once
// The words of a karaoke song, syllable by syllable with their times, from
// the song's Lyric events or its Text events (as .kar files carry them),
// whichever carries them: the karaoke marks and line ends read alike in
// both. Plain C++ with no other library, so that the fuzzer can build it
// beside the file reader.
#include "platform/midi/smf.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace midi {

// Offsets are bytes of Words::text. Syllables due at one instant on one line
// are one: nothing can show them apart.
struct Syllable {
    uint64_t micros;
    uint32_t begin;
    uint32_t end;
};

struct WordsLine {
    uint32_t begin;
    uint32_t end; // before its line feed
    uint32_t firstSyllable;
    uint32_t endSyllable;
    bool startsParagraph;
};

struct Words {
    // All the words in UTF-8: a line feed after each line, an empty line
    // between paragraphs.
    std::string text;
    std::vector<WordsLine> lines;
    std::vector<Syllable> syllables; // in time order, each on one line
    // The song's first @T text (its title), and its @ texts of either kind,
    // each once, without the @: never among the words.
    std::string title;
    std::vector<std::string> information;

    bool empty() const { return syllables.empty(); }
    // How many syllables are due by MICROS: the ones already sung.
    size_t sungBy(uint64_t micros) const;
    // The line that holds syllable INDEX.
    size_t lineOf(size_t index) const;
    std::string_view lineText(const WordsLine& line) const { return {text.data() + line.begin, line.end - line.begin}; }
};

// A line with no break of its own is broken after a syllable that ends a word
// once it is this long, and anywhere once it is kHardLineBytes: a song that
// marks no lines still shows as lines. A longer syllable is cut into pieces
// of at most kHardLineBytes sung at its time, so that no line passes twice
// that, and a letter keeps at most kMostMarks combining marks: the window
// lays out a line in its time, whatever the file holds.
inline constexpr size_t kSoftLineBytes = 56;
inline constexpr size_t kHardLineBytes = 96;
inline constexpr int kMostMarks = 8;
// The song's information texts kept, each cut like a syllable.
inline constexpr size_t kMostInformation = 32;

// Once CANCELLED (when given) turns true, the reading stops within a moment
// and the words are left unfinished.
Words readWords(const Song& song, const std::atomic<bool>* cancelled = nullptr);

// BYTES as UTF-8 when they are valid UTF-8, else read as Windows-1252. NULs
// and other control characters are kept; invalid UTF-8 never comes out.
bool isValidUtf8(std::string_view bytes);
std::string fromWindows1252(std::string_view bytes);

} // namespace midi
