#include "fuzz/smf_exercise.h"

#include "platform/midi/channels.h"
#include "platform/midi/melody.h"
#include "platform/midi/sequence.h"
#include "platform/midi/smf.h"
#include "platform/midi/words.h"

#include <algorithm>

namespace fuzzing {

namespace {

class CountingOutput final : public midi::Output {
public:
    void send(std::span<const uint8_t> message, midi::TimePoint) override
    {
        if (message.empty())
            empty = true;
        ++count;
    }
    bool empty = false;
    size_t count = 0;
};

std::string checkSong(const midi::Song& song, size_t size)
{
    if (song.tracks.empty())
        return "a song without tracks was accepted";
    uint64_t next = 0;
    for (const midi::Track& t : song.tracks) {
        if (t.first != next)
            return "tracks are not back to back";
        next += t.count;
        if (next > song.events.size())
            return "a track runs past the events";
        uint32_t tick = 0;
        for (uint32_t i = t.first; i < t.first + t.count; ++i) {
            const midi::Event& e = song.events[i];
            if (e.tick < tick || e.tick > t.endTick)
                return "event ticks out of order or past the track's end";
            tick = e.tick;
            if (e.isSysex() && e.sysexIndex() + 1 >= song.sysexOffsets.size())
                return "SysEx index out of range";
        }
        if (t.endTick > song.endTick)
            return "a track ends after the song";
    }
    if (next != song.events.size())
        return "events that belong to no track";
    if (song.memoryBytes() > 16 * size + 4096)
        return "more memory than the file's size accounts for";
    if (song.lengthMicros != song.tempo.micros(song.endTick))
        return "length is not the time of the end";
    const uint32_t back = song.tempo.firstTickAtOrAfter(song.lengthMicros);
    if (back > song.endTick || song.tempo.micros(back) != song.lengthMicros)
        return "tick for time does not invert time for tick";
    return {};
}

std::string checkWords(const midi::Words& w, size_t size)
{
    const size_t held = w.text.capacity() + w.lines.capacity() * sizeof(midi::WordsLine)
        + w.syllables.capacity() * sizeof(midi::Syllable);
    if (held > 8 * size + 4096)
        return "words that take more memory than the file's size accounts for";
    if (!midi::isValidUtf8(w.text) || !midi::isValidUtf8(w.title))
        return "words that are no UTF-8";
    uint64_t micros = 0;
    for (size_t i = 0; i < w.syllables.size(); ++i) {
        const midi::Syllable& s = w.syllables[i];
        if (s.micros < micros)
            return "syllables out of time order";
        micros = s.micros;
        const size_t line = w.lineOf(i);
        if (s.begin >= s.end || s.end > w.text.size() || line >= w.lines.size())
            return "a syllable outside the words";
        if (s.begin < w.lines[line].begin || s.end > w.lines[line].end)
            return "a syllable outside its line";
    }
    uint32_t next = 0;
    for (const midi::WordsLine& line : w.lines) {
        if (line.firstSyllable != next || line.endSyllable <= line.firstSyllable || line.end > w.text.size())
            return "lines that do not share out the syllables";
        // Twice the longest piece: a line is closed once it passes one.
        if (line.end - line.begin >= 2 * midi::kHardLineBytes)
            return "a line longer than the window lays out in its time";
        next = line.endSyllable;
    }
    if (next != w.syllables.size())
        return "syllables on no line";
    if (w.sungBy(micros) != w.syllables.size())
        return "not all sung by the last syllable's time";
    return {};
}

std::string checkChannels(const midi::Song& song, const midi::Words& words)
{
    const std::vector<midi::ChannelUse> channels = midi::channelsOf(song);
    int last = -1;
    for (const midi::ChannelUse& c : channels) {
        if (c.channel <= last || c.channel > 15)
            return "channels out of order or past 16";
        last = c.channel;
        if (c.notes == 0 || c.lowest > c.highest || c.highest > 127 || c.instrument.empty())
            return "a channel shown without its notes or its instrument";
        if (!midi::isValidUtf8(c.trackName) || c.trackName.size() > 64)
            return "a track name that is no short UTF-8";
    }
    const int melody = midi::findMelody(song, words);
    const bool known = std::any_of(
        channels.begin(), channels.end(), [&](const midi::ChannelUse& c) { return c.channel == melody && !c.drums; });
    if (melody != -1 && !known)
        return "a melody on a channel that plays no tune";
    return {};
}

} // namespace

std::string exerciseSmf(const uint8_t* data, size_t size)
{
    auto song = std::make_shared<midi::Song>();
    std::string error;
    if (!midi::parseSong({data, size}, *song, error))
        return error.empty() ? "refused without a reason" : std::string();
    if (std::string problem = checkSong(*song, size); !problem.empty())
        return problem;
    const midi::Words words = midi::readWords(*song);
    if (std::string problem = checkWords(words, size); !problem.empty())
        return problem;
    if (std::string problem = checkChannels(*song, words); !problem.empty())
        return problem;

    // Play the second half with a chase, pause and resume, then run to the end.
    auto out = std::make_shared<CountingOutput>();
    midi::Sequence seq(song, out);
    const midi::TimePoint t0 = midi::TimePoint{} + std::chrono::hours(1);
    seq.seek(song->lengthMicros / 2, t0);
    seq.play(t0);
    seq.process(t0 + std::chrono::milliseconds(1));
    seq.pause(t0 + std::chrono::milliseconds(2));
    seq.play(t0 + std::chrono::milliseconds(3));
    const midi::TimePoint far = midi::TimePoint::max() - std::chrono::hours(24);
    if (seq.process(far))
        return "not finished at the end of time";
    if (!seq.takeEnded() || seq.positionMs(far) != song->lengthMs())
        return "the end is not at the length";
    seq.close(far);
    if (out->empty)
        return "an empty message was sent";
    return {};
}

} // namespace fuzzing
