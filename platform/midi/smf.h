#pragma once
// Standard MIDI Files (formats 0 and 1, plain or in a RIFF "RMID" wrapper),
// read into a compact song: 8 bytes per event, tracks kept apart and merged
// while playing, times from a tempo map. Plain C++ with no other library, so
// that the fuzzer can build it on its own.
#include "platform/base/bulk_memory.h"
#include "platform/base/riff.h"
#include "platform/midi/tempo_map.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace midi {

// One channel message or SysEx packet of a track. Tempo and end of track live
// in the tempo map and the track record, texts, lyrics and track names in
// Song::texts; other meta events are dropped.
struct Event {
    uint32_t tick;
    uint32_t word; // status | data1 << 8 | data2 << 16; SysEx: status | index << 8

    uint8_t status() const { return static_cast<uint8_t>(word); }
    uint8_t data1() const { return static_cast<uint8_t>(word >> 8); }
    uint8_t data2() const { return static_cast<uint8_t>(word >> 16); }
    bool isSysex() const { return status() >= 0xF0; }
    uint32_t sysexIndex() const { return word >> 8; }
};

// A Text (1), Track Name (3) or Lyric (5) meta event, kept for the words of
// karaoke songs and the names of their parts: its bytes are
// Song::textBytes[offset, offset + size), as the file has them.
struct TextEvent {
    uint32_t tick;
    uint32_t offset;
    uint32_t size;
    uint32_t track;
    uint8_t type;
};

struct Track {
    uint32_t first = 0; // index of its first event in Song::events
    uint32_t count = 0;
    uint32_t endTick = 0; // its end of track, or its last event when that is missing
};

struct Song {
    int format = 0;
    std::vector<Event, base::BulkAllocator<Event>> events; // track by track, each in file order
    std::vector<Track> tracks;
    std::vector<uint8_t> sysexBytes;      // as sent: F0 packets with their F0, F7 escapes without
    std::vector<uint32_t> sysexOffsets;   // one per packet, and the end
    std::vector<TextEvent> texts; // track by track, each in file order
    std::vector<uint8_t> textBytes;
    TempoMap tempo;
    uint32_t endTick = 0;
    uint64_t lengthMicros = 0;

    uint32_t lengthMs() const;
    std::span<const uint8_t> sysex(uint32_t index) const
    {
        return {sysexBytes.data() + sysexOffsets[index], sysexOffsets[index + 1] - sysexOffsets[index]};
    }
    // Bytes held for the song's data, capacities included.
    size_t memoryBytes() const;
};

// Milliseconds from microseconds, saturating at the 32-bit limit the media
// interface reports.
uint32_t millisFromMicros(uint64_t micros);

enum class LoadError { None, NotFound, Unreadable, Invalid };

// Parses a file image. On failure returns false and ERROR says why in words
// for the user; OUT then holds nothing of use. Once CANCELLED (when given)
// turns true, the parse is given up within a moment and fails.
bool parseSong(
    std::span<const uint8_t> bytes, Song& out, std::string& error, const std::atomic<bool>* cancelled = nullptr);

// Reads and parses the file at PATH, refusing a file that is no MIDI file
// from its first bytes.
LoadError loadSong(
    const std::string& path, Song& out, std::string& error, const std::atomic<bool>* cancelled = nullptr);

// Reads only as much of the file at PATH as tells whether it is a MIDI file
// that can be played (its header, and a RIFF file's chunks up to the song),
// and its size: what loadSong() refuses at once, this refuses the same way.
LoadError probeSong(const std::string& path, std::string& error, uint64_t& bytes);

// Where the song of a RIFF "RMID" file lies, read through READ from a file
// of SIZE bytes: its "data" chunk, cut at the end of the file.
bool findRmidData(const base::riff::ReadAt& read, uint64_t size, uint64_t& begin, uint64_t& end, std::string& error);
// Whether HEAD, the first bytes of a Standard MIDI File (its first 14, where
// it has them), begins a song that can be played; if not, ERROR says why.
bool checkSongHeader(std::span<const uint8_t> head, std::string& error);

} // namespace midi
