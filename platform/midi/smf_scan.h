#pragma once
// The walk over one track of a Standard MIDI File, and the two sinks the
// file reader runs it with: one that counts what a track holds, one that
// fills the song with it. Internal to the reader (smf.cpp); kept in a header
// as the walk is a template over its sink.
#include "platform/midi/smf.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace midi::smf_scan {

inline constexpr uint32_t maxSysexCount = (1u << 24) - 1; // what Event::word can index

inline bool readVlq(const uint8_t*& p, const uint8_t* end, uint32_t& out)
{
    uint32_t v = 0;
    for (int i = 0; i < 4 && p != end; ++i) {
        const uint8_t b = *p++;
        v = (v << 7) | (b & 0x7F);
        if (!(b & 0x80)) {
            out = v;
            return true;
        }
    }
    return false;
}

inline bool gaveUp(const std::atomic<bool>* cancelled)
{
    return cancelled && cancelled->load(std::memory_order_relaxed);
}

struct ScanResult {
    size_t end; // just after the last complete event
    bool eot;
    uint32_t endTick;
};

// How reading one event went: on to the next, the track's end, or an event
// that makes no sense.
enum class Step { Next, End, Stop };

// The time of the event at P, its delta after TICK; false where the delta is
// cut short, nothing follows it, or the time passes the 32-bit limit.
inline bool readTime(const uint8_t*& p, const uint8_t* end, uint32_t tick, uint32_t& time)
{
    uint32_t delta;
    if (!readVlq(p, end, delta) || p == end)
        return false;
    const uint64_t t64 = uint64_t {tick} + delta;
    if (t64 > std::numeric_limits<uint32_t>::max())
        return false;
    time = static_cast<uint32_t>(t64);
    return true;
}

// The event's status byte, or RUNNING where it has none of its own; 0 where
// it has neither.
inline uint8_t readStatus(const uint8_t*& p, uint8_t& running)
{
    const uint8_t status = *p;
    if (status < 0x80)
        return running;
    ++p;
    if (status < 0xF0)
        running = status;
    return status;
}

template <class Sink> bool scanChannel(const uint8_t*& p, const uint8_t* end, uint8_t status, uint32_t t, Sink& sink)
{
    const long n = (status & 0xE0) == 0xC0 ? 1 : 2;
    if (end - p < n || (p[0] & 0x80) || (n == 2 && (p[1] & 0x80)))
        return false;
    const uint32_t d2 = n == 2 ? p[1] : 0;
    if (!sink.channel(t, status | uint32_t {p[0]} << 8 | d2 << 16))
        return false;
    p += n;
    return true;
}

template <class Sink> bool scanSysex(const uint8_t*& p, const uint8_t* end, uint8_t status, uint32_t t, Sink& sink)
{
    uint32_t len;
    if (!readVlq(p, end, len) || len > static_cast<size_t>(end - p))
        return false;
    if (len > 0 && !sink.sysex(t, status, p, len))
        return false;
    p += len;
    return true;
}

template <class Sink> Step scanMeta(const uint8_t*& p, const uint8_t* end, uint32_t t, Sink& sink)
{
    uint32_t len;
    if (p == end)
        return Step::Stop;
    const uint8_t type = *p++;
    if (!readVlq(p, end, len) || len > static_cast<size_t>(end - p))
        return Step::Stop;
    if (type == 0x51 && len >= 3)
        sink.tempo(t, uint32_t {p[0]} << 16 | uint32_t {p[1]} << 8 | p[2]);
    else if ((type == 0x01 || type == 0x03 || type == 0x05) && len > 0)
        sink.text(t, type, p, len);
    p += len;
    return type == 0x2F ? Step::End : Step::Next;
}

template <class Sink> Step scanEvent(const uint8_t*& p, const uint8_t* end, uint8_t status, uint32_t t, Sink& sink)
{
    if (status < 0xF0)
        return scanChannel(p, end, status, t, sink) ? Step::Next : Step::Stop;
    if (status == 0xF0 || status == 0xF7)
        return scanSysex(p, end, status, t, sink) ? Step::Next : Step::Stop;
    if (status == 0xFF)
        return scanMeta(p, end, t, sink);
    return Step::Stop; // system common or real-time bytes have no place in a file
}

// Walks one track's events between BEGIN and LIMIT and hands them to SINK.
// It stops at the end of track, at LIMIT, or at the first event that makes no
// sense; what came before stays. Running status survives meta and SysEx
// events: real files rely on it, and a valid file never shows the difference.
template <class Sink>
ScanResult scanTrack(const uint8_t* base, size_t begin, size_t limit, Sink& sink, const std::atomic<bool>* cancelled)
{
    const uint8_t* p = base + begin;
    const uint8_t* const end = base + limit;
    const uint8_t* good = p;
    uint32_t tick = 0;
    uint8_t running = 0;
    bool eot = false;
    for (uint32_t n = 1; p < end && !eot; ++n) {
        if (n % 65536 == 0 && gaveUp(cancelled))
            break;
        uint32_t t;
        if (!readTime(p, end, tick, t))
            break;
        const uint8_t status = readStatus(p, running);
        const Step step = status ? scanEvent(p, end, status, t, sink) : Step::Stop;
        if (step == Step::Stop)
            break;
        eot = step == Step::End;
        tick = t;
        good = p;
    }
    return {static_cast<size_t>(good - base), eot, tick};
}

struct CountSink {
    uint64_t events = 0;
    uint64_t sysexCount = 0; // across the tracks read so far
    uint64_t sysexBytes = 0;

    bool channel(uint32_t, uint32_t)
    {
        ++events;
        return true;
    }
    bool sysex(uint32_t, uint8_t status, const uint8_t*, uint32_t len)
    {
        if (sysexCount >= maxSysexCount)
            return false;
        ++events;
        ++sysexCount;
        sysexBytes += len + (status == 0xF0 ? 1 : 0);
        return true;
    }
    void tempo(uint32_t, uint32_t) { }
    void text(uint32_t, uint8_t, const uint8_t*, uint32_t len)
    {
        ++texts;
        textBytes += len;
    }

    uint64_t texts = 0;
    uint64_t textBytes = 0;
};

struct FillSink {
    Song& song;
    Event* out;
    std::vector<TempoChange>& tempos;

    bool channel(uint32_t tick, uint32_t word)
    {
        *out++ = Event {tick, word};
        return true;
    }
    bool sysex(uint32_t tick, uint8_t status, const uint8_t* data, uint32_t len)
    {
        const auto index = static_cast<uint32_t>(song.sysexOffsets.size() - 1);
        if (index >= maxSysexCount)
            return false;
        if (status == 0xF0)
            song.sysexBytes.push_back(0xF0);
        song.sysexBytes.insert(song.sysexBytes.end(), data, data + len);
        song.sysexOffsets.push_back(static_cast<uint32_t>(song.sysexBytes.size()));
        *out++ = Event {tick, status | index << 8};
        return true;
    }
    void tempo(uint32_t tick, uint32_t value) { tempos.push_back({tick, value}); }
    void text(uint32_t tick, uint8_t type, const uint8_t* data, uint32_t len)
    {
        song.texts.push_back({tick, static_cast<uint32_t>(song.textBytes.size()), len, track, type});
        song.textBytes.insert(song.textBytes.end(), data, data + len);
    }

    uint32_t track = 0;
};

} // namespace midi::smf_scan
