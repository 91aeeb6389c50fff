#pragma once
// Standard MIDI Files (formats 0 and 1, plain or in a RIFF "RMID" wrapper),
// read into a compact song: 8 bytes per event, tracks kept apart and merged
// while playing, times from a tempo map. Plain C++ with no other library, so
// that the fuzzer can build it on its own.
#include <cstddef>
#include <cstdint>
#include <span>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace midi {

// Large blocks come mapped with their pages already in place, in one call:
// faulting in a huge song's storage page by page as it fills costs more than
// reading it. Small ones come from the heap.
void* allocateBulk(size_t bytes);
void freeBulk(void* p, size_t bytes);

// Elements are left uninitialised until written: the reader fills every one.
template <class T>
struct BulkAllocator {
    using value_type = T;
    BulkAllocator() = default;
    template <class U>
    BulkAllocator(const BulkAllocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(allocateBulk(n * sizeof(T))); }
    void deallocate(T* p, size_t n) { freeBulk(p, n * sizeof(T)); }
    template <class U>
    void construct(U* p) { ::new (static_cast<void*>(p)) U; }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) { ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...); }
    template <class U>
    bool operator==(const BulkAllocator<U>&) const { return true; }
};

// One channel message or SysEx packet of a track. Tempo and end of track live
// in the tempo map and the track record; other meta events are dropped.
struct Event {
    uint32_t tick;
    uint32_t word; // status | data1 << 8 | data2 << 16; SysEx: status | index << 8

    uint8_t status() const { return static_cast<uint8_t>(word); }
    uint8_t data1() const { return static_cast<uint8_t>(word >> 8); }
    uint8_t data2() const { return static_cast<uint8_t>(word >> 16); }
    bool isSysex() const { return status() >= 0xF0; }
    uint32_t sysexIndex() const { return word >> 8; }
};

struct Track {
    uint32_t first = 0; // index of its first event in Song::events
    uint32_t count = 0;
    uint32_t endTick = 0; // its end of track, or its last event when that is missing
};

struct TempoChange {
    uint32_t tick;
    uint32_t microsPerQuarter;
};

// Ticks to microseconds, exact: every segment starts at a sum kept in
// microseconds times the division, so nothing is rounded until the end.
class TempoMap {
public:
    TempoMap() { setMetrical(96); }
    void setMetrical(uint16_t ticksPerQuarter);
    // FPS 29 is 30-frame drop-frame, which runs at 29.97 frames a second.
    void setSmpte(int framesPerSecond, int ticksPerFrame);
    // CHANGES sorted by tick; ignored under SMPTE division. A later change at
    // the same tick wins, a tempo of 0 is ignored.
    void build(const std::vector<TempoChange>& changes);

    uint64_t micros(uint32_t tick) const;
    // The smallest tick whose time is at or after MICROS.
    uint32_t firstTickAtOrAfter(uint64_t micros) const;
    size_t segmentCount() const { return segments_.size(); }

private:
    struct Segment {
        uint32_t tick;
        uint64_t start; // microseconds times den_
        uint64_t rate;  // microseconds times den_ per tick
    };
    size_t segmentFor(uint32_t tick) const;

    bool smpte_ = false;
    uint64_t den_ = 96;
    uint64_t smpteRate_ = 1000000;
    std::vector<Segment> segments_;
};

struct Song {
    int format = 0;
    std::vector<Event, BulkAllocator<Event>> events; // track by track, each in file order
    std::vector<Track> tracks;
    std::vector<uint8_t> sysexBytes;      // as sent: F0 packets with their F0, F7 escapes without
    std::vector<uint32_t> sysexOffsets;   // one per packet, and the end
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
// for the user; OUT then holds nothing of use.
bool parseSong(std::span<const uint8_t> bytes, Song& out, std::string& error);

// Reads and parses the file at PATH.
LoadError loadSong(const std::string& path, Song& out, std::string& error);

} // namespace midi
