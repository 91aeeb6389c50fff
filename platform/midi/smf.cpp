#include "platform/midi/smf.h"

#include "platform/midi/smf_scan.h"

#include <algorithm>
#include <limits>
#include <string_view>

namespace midi {

// ---------------------------------------------------------------- song

uint32_t millisFromMicros(uint64_t micros)
{
    return static_cast<uint32_t>(std::min<uint64_t>(micros / 1000, std::numeric_limits<uint32_t>::max()));
}

uint32_t Song::lengthMs() const { return millisFromMicros(lengthMicros); }

size_t Song::memoryBytes() const
{
    return events.capacity() * sizeof(Event) + tracks.capacity() * sizeof(Track) + sysexBytes.capacity()
        + sysexOffsets.capacity() * sizeof(uint32_t) + texts.capacity() * sizeof(TextEvent) + textBytes.capacity()
        + tempo.segmentCount() * 24;
}

// ---------------------------------------------------------------- reader

namespace {

constexpr const char* kGivenUp = "The reading of the MIDI file was given up.";

uint32_t be32(const uint8_t* p)
{
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
uint16_t be16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

using smf_scan::CountSink;
using smf_scan::FillSink;
using smf_scan::gaveUp;
using smf_scan::ScanResult;
using smf_scan::scanTrack;

bool checkFormat(uint16_t format, std::string& error)
{
    if (format == 2) {
        error = "MIDI files of format 2 (a series of independent patterns) cannot be played.";
        return false;
    }
    if (format > 2) {
        error = "The MIDI file has an unknown format (" + std::to_string(format) + ").";
        return false;
    }
    return true;
}

// Ticks per quarter note, or SMPTE frames per second and ticks per frame.
bool readDivision(uint16_t division, TempoMap& tempo, std::string& error)
{
    if (division & 0x8000) {
        const int fps = -static_cast<int8_t>(division >> 8);
        const int ticksPerFrame = division & 0xFF;
        if (fps <= 0 || ticksPerFrame == 0) {
            error = "The MIDI file's time division is invalid.";
            return false;
        }
        tempo.setSmpte(fps, ticksPerFrame);
        return true;
    }
    if (division == 0) {
        error = "The MIDI file's time division is invalid.";
        return false;
    }
    tempo.setMetrical(division);
    return true;
}

struct TrackSpan {
    size_t begin;
    size_t limit;
    uint64_t events;
};

using base::riff::idIs;

class Reader {
public:
    Reader(std::span<const uint8_t> smf, const std::atomic<bool>* cancelled)
        : base_(smf.data()), size_(smf.size()), cancelled_(cancelled)
    {
    }

    bool read(Song& song, std::string& error);
    bool readHeader(Song& song, std::string& error);

private:
    void findTracks();
    void readTrackChunk();
    void reserve(Song& song) const;
    void fillTracks(Song& song, std::vector<TempoChange>& tempos) const;
    bool chunkAt(size_t pos, const char* id) const { return pos + 8 <= size_ && idIs(base_ + pos, id); }
    bool anyChunkAt(size_t pos) const;
    size_t findTrackId(size_t from) const;

    const uint8_t* base_;
    size_t size_;
    const std::atomic<bool>* cancelled_;
    size_t pos_ = 0;
    std::vector<TrackSpan> spans_;
    CountSink totals_;
};

// A track chunk, or a chunk of another kind that fits the file. Track data
// often looks like a chunk name; it rarely also carries a length that fits.
bool Reader::anyChunkAt(size_t pos) const
{
    if (chunkAt(pos, "MTrk"))
        return true;
    if (pos + 8 > size_)
        return false;
    const bool named = std::all_of(base_ + pos, base_ + pos + 4, [](uint8_t c) {
        return c == ' ' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
    return named && pos + 8 + uint64_t{be32(base_ + pos + 4)} <= size_;
}

size_t Reader::findTrackId(size_t from) const
{
    if (from >= size_)
        return size_;
    const std::string_view all(reinterpret_cast<const char*>(base_), size_);
    const size_t at = all.find("MTrk", from);
    return at == std::string_view::npos ? size_ : at;
}

bool Reader::readHeader(Song& song, std::string& error)
{
    if (size_ < 4 || !idIs(base_, "MThd")) {
        error = "The file is not a MIDI file: it has no MIDI header.";
        return false;
    }
    if (size_ < 14 || be32(base_ + 4) < 6) {
        error = "The MIDI file's header is cut short.";
        return false;
    }
    const uint16_t format = be16(base_ + 8);
    if (!checkFormat(format, error))
        return false;
    song.format = format;
    if (!readDivision(be16(base_ + 12), song.tempo, error))
        return false;
    // A header length that runs past the file is wrong; the tracks then
    // follow the usual six bytes.
    const uint64_t after = 8 + uint64_t{be32(base_ + 4)};
    pos_ = after <= size_ ? static_cast<size_t>(after) : 14;
    return true;
}

// The declared length of a track is trusted where it ends at another chunk
// or at the end of the file. Where it ends elsewhere it is wrong: too short
// when the track's end comes later (read on up to it), too long when the
// track's end is followed by the next track.
void Reader::readTrackChunk()
{
    const size_t body = pos_ + 8;
    const uint64_t declaredEnd = body + uint64_t{be32(base_ + pos_ + 4)};
    size_t limit = static_cast<size_t>(std::min<uint64_t>(declaredEnd, size_));
    const bool declaredFits = declaredEnd <= size_ && (declaredEnd == size_ || anyChunkAt(declaredEnd));

    CountSink counts = totals_;
    ScanResult r = scanTrack(base_, body, limit, counts, cancelled_);
    size_t next = limit;
    if (!r.eot && !declaredFits) {
        const size_t stop = findTrackId(limit);
        CountSink longer = totals_;
        const ScanResult r2 = scanTrack(base_, body, stop, longer, cancelled_);
        // Without an end of track these are stray bytes, not more of the track.
        if (r2.eot) {
            r = r2;
            counts = longer;
            limit = stop;
            next = r2.end;
        }
    } else if (r.eot && r.end != declaredEnd && chunkAt(r.end, "MTrk") && !chunkAt(declaredEnd, "MTrk")) {
        next = r.end;
    }
    spans_.push_back({body, limit, counts.events - totals_.events});
    totals_ = counts;
    pos_ = std::max(next, body);
}

// Every track chunk is read, also those beyond the header's count; other
// chunks are skipped, and bytes that are no chunk at all are passed over to
// the next track.
void Reader::findTracks()
{
    while (pos_ + 8 <= size_ && !gaveUp(cancelled_)) {
        if (idIs(base_ + pos_, "MTrk")) {
            readTrackChunk();
        } else if (anyChunkAt(pos_)) {
            pos_ += 8 + size_t{be32(base_ + pos_ + 4)};
        } else {
            pos_ = findTrackId(pos_ + 1);
        }
    }
}

bool Reader::read(Song& song, std::string& error)
{
    if (!readHeader(song, error))
        return false;
    findTracks();
    if (gaveUp(cancelled_)) {
        error = kGivenUp;
        return false;
    }
    if (spans_.empty()) {
        error = "The MIDI file holds no track.";
        return false;
    }
    std::vector<TempoChange> tempos;
    fillTracks(song, tempos);
    if (gaveUp(cancelled_)) {
        error = kGivenUp;
        return false;
    }
    std::stable_sort(
        tempos.begin(), tempos.end(), [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
    song.tempo.build(tempos);
    song.lengthMicros = song.tempo.micros(song.endTick);
    return true;
}

// Everything is sized from what the first pass really found, never from
// counts the file states.
void Reader::reserve(Song& song) const
{
    song.events.resize(static_cast<size_t>(totals_.events));
    song.sysexBytes.reserve(static_cast<size_t>(totals_.sysexBytes));
    song.sysexOffsets.reserve(static_cast<size_t>(totals_.sysexCount) + 1);
    song.sysexOffsets.assign(1, 0);
    song.texts.reserve(static_cast<size_t>(totals_.texts));
    song.textBytes.reserve(static_cast<size_t>(totals_.textBytes));
    song.tracks.resize(spans_.size());
}

// The second pass: the tracks found by the first read into SONG, their
// tempo changes into TEMPOS.
void Reader::fillTracks(Song& song, std::vector<TempoChange>& tempos) const
{
    reserve(song);
    FillSink fill{song, song.events.data(), tempos};
    song.endTick = 0;
    for (size_t i = 0; i < spans_.size(); ++i) {
        Track& track = song.tracks[i];
        track.first = static_cast<uint32_t>(fill.out - song.events.data());
        fill.track = static_cast<uint32_t>(i);
        const ScanResult r = scanTrack(base_, spans_[i].begin, spans_[i].limit, fill, cancelled_);
        track.count = static_cast<uint32_t>(fill.out - song.events.data()) - track.first;
        track.endTick = r.endTick;
        song.endTick = std::max(song.endTick, r.endTick);
    }
}

} // namespace

// The RIFF size is often wrong; the chunks are walked to the end of the file.
// Chunks are padded to even sizes.
bool findRmidData(const base::riff::ReadAt& read, uint64_t size, uint64_t& begin, uint64_t& end, std::string& error)
{
    uint8_t form[4] = {};
    if (read(8, form, 4) < 4 || !idIs(form, "RMID")) {
        error = "The file is a RIFF file but holds no MIDI song.";
        return false;
    }
    bool found = false;
    base::riff::walk(read, 12, size, {.padMayLackBefore = "data"}, [&](base::riff::Chunk& chunk) {
        if (!chunk.is("data"))
            return true;
        begin = chunk.body;
        end = std::min<uint64_t>(chunk.body + chunk.size, size);
        found = true;
        return false;
    });
    if (!found)
        error = "The RIFF MIDI file holds no MIDI data.";
    return found;
}

bool checkSongHeader(std::span<const uint8_t> head, std::string& error)
{
    Song song;
    return Reader(head, nullptr).readHeader(song, error);
}

bool parseSong(std::span<const uint8_t> bytes, Song& out, std::string& error, const std::atomic<bool>* cancelled)
{
    out = Song {};
    if (bytes.size() >= 12 && idIs(bytes.data(), "RIFF")) {
        uint64_t begin = 0, end = 0;
        if (!findRmidData(base::riff::inMemory(bytes), bytes.size(), begin, end, error))
            return false;
        bytes = bytes.subspan(size_t(begin), size_t(end - begin));
    }
    return Reader(bytes, cancelled).read(out, error);
}

} // namespace midi
