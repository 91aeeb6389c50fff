#pragma once
// Builds Standard MIDI File bytes for tests.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace smf_builder {

inline std::string be32(uint32_t v)
{
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

inline std::string le32(uint32_t v)
{
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

inline std::string vlq(uint32_t v)
{
    std::string out(1, static_cast<char>(v & 0x7F));
    while (v >>= 7)
        out.insert(out.begin(), static_cast<char>(0x80 | (v & 0x7F)));
    return out;
}

inline std::string bytes(std::initializer_list<int> list)
{
    std::string out;
    for (int b : list)
        out.push_back(static_cast<char>(b));
    return out;
}

// A track's event bytes, written event by event with their delta times.
class Track {
public:
    Track& ev(uint32_t delta, std::initializer_list<int> data)
    {
        data_ += vlq(delta) + bytes(data);
        return *this;
    }
    Track& tempo(uint32_t delta, uint32_t microsPerQuarter)
    {
        return ev(delta, {0xFF, 0x51, 0x03, static_cast<int>(microsPerQuarter >> 16 & 0xFF),
                          static_cast<int>(microsPerQuarter >> 8 & 0xFF), static_cast<int>(microsPerQuarter & 0xFF)});
    }
    Track& sysex(uint32_t delta, uint8_t status, const std::string& payload)
    {
        data_ += vlq(delta) + static_cast<char>(status) + vlq(static_cast<uint32_t>(payload.size())) + payload;
        return *this;
    }
    // A meta event of TYPE carrying TEXT: 1 a text, 5 a lyric.
    Track& meta(uint32_t delta, int type, const std::string& text)
    {
        data_ += vlq(delta) + bytes({0xFF, type}) + vlq(static_cast<uint32_t>(text.size())) + text;
        return *this;
    }
    Track& end(uint32_t delta = 0) { return ev(delta, {0xFF, 0x2F, 0x00}); }
    Track& raw(const std::string& b)
    {
        data_ += b;
        return *this;
    }
    const std::string& data() const { return data_; }
    // The chunk with its declared length, LENGTH when given.
    std::string chunk(int64_t length = -1) const
    {
        return "MTrk" + be32(static_cast<uint32_t>(length < 0 ? data_.size() : length)) + data_;
    }

private:
    std::string data_;
};

inline std::string header(int format, int tracks, int division)
{
    return "MThd" + be32(6) + bytes({format >> 8, format & 0xFF, tracks >> 8, tracks & 0xFF, division >> 8 & 0xFF, division & 0xFF});
}

inline std::string file(int format, int division, const std::vector<Track>& tracks)
{
    std::string out = header(format, static_cast<int>(tracks.size()), division);
    for (const Track& t : tracks)
        out += t.chunk();
    return out;
}

inline std::string riff(const std::vector<std::pair<std::string, std::string>>& chunks)
{
    std::string body = "RMID";
    for (const auto& [id, data] : chunks) {
        body += id + le32(static_cast<uint32_t>(data.size())) + data;
        if (data.size() & 1)
            body.push_back('\0');
    }
    return "RIFF" + le32(static_cast<uint32_t>(body.size())) + body;
}

// One note of MS milliseconds at 120 bpm, 480 ticks a quarter.
inline std::string noteFile(int ms, int key = 60)
{
    const auto ticks = static_cast<uint32_t>(ms * 480 / 500);
    return file(0, 480, {Track().ev(0, {0x90, key, 100}).ev(ticks, {0x80, key, 0}).end()});
}

// A second of a piano chord over a drum beat, the programs most songs start
// with, sounding from its first tick.
inline std::string chordAndBeatFile()
{
    return file(0, 480,
        {Track().ev(0, {0xC0, 0x00})
                .ev(0, {0x90, 0x3C, 0x64})
                .ev(0, {0x90, 0x40, 0x64})
                .ev(0, {0x99, 0x24, 0x64})
                .ev(480, {0x89, 0x24, 0x00})
                .ev(0, {0x99, 0x26, 0x64})
                .ev(480, {0x80, 0x3C, 0x00})
                .ev(0, {0x80, 0x40, 0x00})
                .ev(0, {0x89, 0x26, 0x00})
                .end()});
}

inline std::string write(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

// A track from events at absolute times, in any order; equal times keep it.
inline Track timed(std::vector<std::pair<uint32_t, std::vector<int>>> events, uint32_t end)
{
    std::stable_sort(events.begin(), events.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    Track track;
    uint32_t at = 0;
    for (const auto& [time, data] : events) {
        track.raw(vlq(time - at));
        for (int b : data)
            track.raw(std::string(1, static_cast<char>(b)));
        at = time;
    }
    return track.end(end - at);
}

// The two reset files the player writes.
inline std::string gsResetFile()
{
    return header(0, 1, 120) + "MTrk" + be32(55)
           + bytes({0x00, 0xFF, 0x7F, 0x03, 0x00, 0x00, 0x41, 0x00, 0xFF, 0x21, 0x01, 0x00, 0x00, 0xF0, 0x0A, 0x41,
                    0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7, 0x00, 0xFF, 0x21, 0x01, 0x00, 0x00, 0xFF,
                    0x58, 0x04, 0x04, 0x02, 0x18, 0x08, 0x00, 0xFF, 0x59, 0x02, 0x00, 0x00, 0x00, 0xFF, 0x51, 0x03,
                    0x09, 0x27, 0xC0, 0x00, 0xFF, 0x2F, 0x00});
}

inline std::string gmResetFile()
{
    return header(0, 1, 120) + "MTrk" + be32(50)
           + bytes({0x00, 0xFF, 0x7F, 0x03, 0x00, 0x00, 0x41, 0x00, 0xFF, 0x21, 0x01, 0x00, 0x00, 0xF0, 0x05, 0x7E,
                    0x7F, 0x09, 0x01, 0xF7, 0x00, 0xFF, 0x21, 0x01, 0x00, 0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18,
                    0x08, 0x00, 0xFF, 0x59, 0x02, 0x00, 0x00, 0x00, 0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0, 0x00, 0xFF,
                    0x2F, 0x00});
}

} // namespace smf_builder
