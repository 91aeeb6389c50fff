#include "platform/midi/melody.h"

#include "platform/midi/channels.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace midi {

namespace {

constexpr int kChannels = 16;
// A syllable and a note start sung together, as songs place them: on the
// same tick, or a little early or late where the words were put in by hand.
constexpr uint64_t kToleranceUs = 70000;
// The notes of a chord, strummed or played by hand, start within this of
// each other: they are one start.
constexpr uint64_t kChordSpreadUs = 30000;
// Syllables closer than this belong to one sung passage; notes played in
// the gaps between passages (an intro, a solo) are not held against a channel.
constexpr uint64_t kPassageGapUs = 4000000;
// The melody scores near 1 above chance: a few syllables fall off its
// notes, a few of its notes carry no syllable of their own. Chords, bass and
// a pad, whose beats many syllables fall on, stay under 0.5, and notes that
// do not follow the words near 0. A score of 0.6 needs both shares above 0.43.
constexpr double kLeastScore = 0.6;

struct Span {
    uint64_t begin, end;
};

// The syllables' start times, each once.
std::vector<uint64_t> syllableStarts(const Words& words)
{
    std::vector<uint64_t> out;
    out.reserve(words.syllables.size());
    for (const Syllable& s : words.syllables)
        out.push_back(s.micros);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

// The sung passages, each widened by the tolerance.
std::vector<Span> passages(const std::vector<uint64_t>& syllables)
{
    std::vector<Span> out;
    for (size_t i = 0; i < syllables.size(); ++i) {
        const uint64_t at = syllables[i];
        if (i > 0 && at - syllables[i - 1] <= kPassageGapUs)
            out.back().end = at + kToleranceUs;
        else
            out.push_back({at > kToleranceUs ? at - kToleranceUs : 0, at + kToleranceUs});
    }
    return out;
}

// Each channel's note starts in time order, the notes of a chord as one.
std::array<std::vector<uint64_t>, kChannels> noteStarts(const Song& song, uint16_t channels)
{
    std::array<std::vector<uint64_t>, kChannels> out;
    for (const Track& track : song.tracks) {
        uint32_t lastTick = 0;
        uint64_t lastMicros = song.tempo.micros(0);
        for (uint32_t i = track.first; i < track.first + track.count; ++i) {
            const Event& e = song.events[i];
            const int c = e.status() & 0x0F;
            if ((e.status() & 0xF0) != 0x90 || e.data2() == 0 || !(channels >> c & 1))
                continue;
            if (e.tick != lastTick) {
                lastTick = e.tick;
                lastMicros = song.tempo.micros(e.tick);
            }
            out[c].push_back(lastMicros);
        }
    }
    for (std::vector<uint64_t>& starts : out) {
        std::sort(starts.begin(), starts.end());
        size_t kept = 0;
        for (const uint64_t at : starts)
            if (kept == 0 || at - starts[kept - 1] > kChordSpreadUs)
                starts[kept++] = at;
        starts.resize(kept);
    }
    return out;
}

struct Share {
    size_t hits = 0, of = 0;
    double value() const { return of ? static_cast<double>(hits) / static_cast<double>(of) : 0.0; }
};

// The share of TIMES (sorted) that have one of OTHERS (sorted) within the
// tolerance, of those inside SPANS where given.
Share matched(const std::vector<uint64_t>& times, const std::vector<uint64_t>& others, const std::vector<Span>* spans)
{
    Share out;
    size_t j = 0, k = 0;
    for (const uint64_t at : times) {
        if (spans) {
            while (k < spans->size() && (*spans)[k].end < at)
                ++k;
            if (k == spans->size() || at < (*spans)[k].begin)
                continue;
        }
        ++out.of;
        while (j < others.size() && others[j] + kToleranceUs < at)
            ++j;
        out.hits += j < others.size() && others[j] <= at + kToleranceUs;
    }
    return out;
}

// The share of SPANS that lies within the tolerance of one of TIMES: how
// often a time picked at random while singing would match one by chance.
double coverage(const std::vector<uint64_t>& times, const std::vector<Span>& spans)
{
    uint64_t total = 0, covered = 0;
    for (const Span& s : spans)
        total += s.end - s.begin;
    size_t k = 0;
    uint64_t reached = 0; // what of the timeline has been counted
    for (const uint64_t at : times) {
        const uint64_t begin = std::max(at > kToleranceUs ? at - kToleranceUs : 0, reached);
        const uint64_t end = at + kToleranceUs;
        if (begin >= end)
            continue;
        reached = end;
        while (k < spans.size() && spans[k].end <= begin)
            ++k;
        for (size_t m = k; m < spans.size() && spans[m].begin < end; ++m)
            covered += std::min(end, spans[m].end) - std::max(begin, spans[m].begin);
    }
    return total ? static_cast<double>(covered) / static_cast<double>(total) : 1.0;
}

// How far SHARE lies above CHANCE, the share reached at random: 0 at or
// below it, 1 for everything.
double aboveChance(double share, double chance)
{
    return chance < 1.0 ? std::max(0.0, (share - chance) / (1.0 - chance)) : 0.0;
}

} // namespace

std::vector<MelodyFit> melodyFits(const Song& song, const Words& words)
{
    std::vector<MelodyFit> out;
    const std::vector<uint64_t> syllables = syllableStarts(words);
    if (syllables.empty())
        return out;
    uint16_t melodic = 0;
    for (const ChannelUse& c : channelsOf(song))
        if (!c.drums)
            melodic |= static_cast<uint16_t>(1u << c.channel);
    const std::vector<Span> sung = passages(syllables);
    const double syllableCover = coverage(syllables, sung);
    const auto starts = noteStarts(song, melodic);
    for (int c = 0; c < kChannels; ++c) {
        if (!(melodic >> c & 1))
            continue;
        const double recall = aboveChance(matched(syllables, starts[c], nullptr).value(), coverage(starts[c], sung));
        const double precision = aboveChance(matched(starts[c], syllables, &sung).value(), syllableCover);
        const double score = recall + precision > 0 ? 2 * recall * precision / (recall + precision) : 0.0;
        out.push_back({c, recall, precision, score});
    }
    return out;
}

int findMelody(const Song& song, const Words& words)
{
    const std::vector<MelodyFit> fits = melodyFits(song, words);
    const auto best = std::max_element(
        fits.begin(), fits.end(), [](const MelodyFit& a, const MelodyFit& b) { return a.score < b.score; });
    if (best == fits.end() || best->score < kLeastScore)
        return -1;
    return best->channel;
}

int keyForVoice(int low, int high, int voiceLow, int voiceHigh)
{
    if (low > high || voiceLow > voiceHigh)
        return 0;
    // Every shift from LEAST to MOST fits; the one nearest no shift is taken.
    const int least = voiceLow - low, most = voiceHigh - high;
    int shift;
    if (least <= most) {
        shift = std::clamp(0, least, most);
    } else {
        const int twice = (voiceLow + voiceHigh) - (low + high);
        shift = twice / 2; // a half semitone off centre goes the shorter way
    }
    return std::clamp(shift, -12, 12);
}

namespace {

constexpr std::array<const char*, 12> kNoteNames = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
constexpr std::array<int, 7> kLetterSteps = {9, 11, 0, 2, 4, 5, 7}; // A to G

} // namespace

std::optional<int> noteFromName(std::string_view name)
{
    while (!name.empty() && name.front() == ' ')
        name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    if (name.empty())
        return std::nullopt;
    const char letter = static_cast<char>(name.front() | 0x20);
    if (letter < 'a' || letter > 'g')
        return std::nullopt;
    int note = kLetterSteps[static_cast<size_t>(letter - 'a')];
    name.remove_prefix(1);
    if (!name.empty() && (name.front() == '#' || name.front() == 'b')) {
        note += name.front() == '#' ? 1 : -1;
        name.remove_prefix(1);
    }
    int octave;
    if (name == "-1")
        octave = -1;
    else if (name.size() == 1 && name.front() >= '0' && name.front() <= '9')
        octave = name.front() - '0';
    else
        return std::nullopt;
    note += (octave + 1) * 12;
    if (note < 0 || note > 127)
        return std::nullopt;
    return note;
}

std::string noteName(int note)
{
    if (note < 0 || note > 127)
        return {};
    return kNoteNames[static_cast<size_t>(note % 12)] + std::to_string(note / 12 - 1);
}

} // namespace midi
