#pragma once
// Where a song's words stand at a moment. Before the words begin, and across
// a long pause in the singing, the singer is told what plays and counted in
// to the next syllable, rather than left looking at a line long sung.
#include "platform/midi/words.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace singer {

// A pause in the singing at least this long brings a count-in.
inline constexpr uint64_t kCountInGapUs = 4'000'000;
// The line just sung stays this long into the pause, to be read to its end.
inline constexpr uint64_t kLingerUs = 1'500'000;
// Words that start sooner than this into the song begin without a count-in:
// it would only flash.
inline constexpr uint64_t kLeastCountInUs = 1'000'000;

struct WordsMoment {
    size_t sung = 0; // syllables due
    // Seconds to the next syllable, as heard, rounded up, while a count-in
    // shows; 0 while the lines show.
    int countIn = 0;
    // The song's time at which any of this changes next; UINT64_MAX: never.
    uint64_t changesAt = UINT64_MAX;
};

// RATE: the song's seconds that pass in a second heard.
WordsMoment wordsAt(const midi::Words& words, uint64_t nowUs, double rate);

// What the song tells of itself that a singer would read, in order: its
// other titles (the artist, the copyright) and its information, without the
// codes only programs read (kind of file, version, language).
inline constexpr size_t kMostInformationShown = 6;
std::vector<std::string> shownInformation(const midi::Words& words);

} // namespace singer
