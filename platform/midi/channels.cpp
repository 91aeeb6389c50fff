#include "platform/midi/channels.h"

#include "platform/midi/instruments.h"
#include "platform/midi/words.h"

#include <algorithm>
#include <array>
#include <limits>
#include <span>
#include <string_view>

namespace midi {

namespace {

constexpr int kChannels = 16;
constexpr int kDrumChannel = 9;
constexpr uint8_t kTrackNameType = 0x03;
constexpr uint8_t kBankMsb = 0;
constexpr uint8_t kBankLsb = 32;
// Enough for any name a list shows; a file may hold megabytes in one.
constexpr size_t kMostNameBytes = 64;
constexpr uint32_t kNoNote = std::numeric_limits<uint32_t>::max();

bool isNoteOn(const Event& e)
{
    return (e.status() & 0xF0) == 0x90 && e.data2() > 0;
}

// A value as the song last set it by a channel's first note. Tracks are
// taken in order and each in time order, so of two settings at one tick the
// later track's wins, as it does when they are played.
struct Setting {
    int value;
    uint32_t tick = 0;
    bool set = false;

    void offer(uint32_t at, int v)
    {
        if (!set || at >= tick)
            *this = {v, at, true};
    }
};

struct Use {
    uint32_t firstNote = kNoNote;
    uint32_t notes = 0;
    int lowest = 127, highest = 0;
    uint32_t busiestTrack = 0, busiestNotes = 0;
    Setting program {-1}, bankMsb {0}, bankLsb {0}, drums {0};
};

using Uses = std::array<Use, kChannels>;

// The channel a GS "use for rhythm part" packet sets, and whether it makes
// it a rhythm part: F0 41 dev 42 12 40 1x 15 0y sum F7. Its part blocks run
// 1 to 9, the tenth as 0, then 11 to 16. -1 for any other packet, and for
// one whose checksum is wrong, which a GS synthesizer ignores.
int rhythmPartChannel(std::span<const uint8_t> p, bool& drums)
{
    if (p.size() != 11 || p[0] != 0xF0 || p[1] != 0x41 || p[3] != 0x42 || p[4] != 0x12 || p[5] != 0x40
        || (p[6] & 0xF0) != 0x10 || p[7] != 0x15 || p[8] > 2 || p[10] != 0xF7)
        return -1;
    if ((p[5] + p[6] + p[7] + p[8] + p[9]) % 128 != 0)
        return -1;
    drums = p[8] != 0;
    const int block = p[6] & 0x0F;
    return block == 0 ? kDrumChannel : block <= 9 ? block - 1 : block;
}

void countNotes(const Song& song, Uses& uses)
{
    for (size_t t = 0; t < song.tracks.size(); ++t) {
        const Track& track = song.tracks[t];
        std::array<uint32_t, kChannels> inTrack {};
        for (uint32_t i = track.first; i < track.first + track.count; ++i) {
            const Event& e = song.events[i];
            if (!isNoteOn(e))
                continue;
            Use& u = uses[e.status() & 0x0F];
            u.firstNote = std::min(u.firstNote, e.tick);
            ++u.notes;
            u.lowest = std::min<int>(u.lowest, e.data1());
            u.highest = std::max<int>(u.highest, e.data1());
            ++inTrack[e.status() & 0x0F];
        }
        for (int c = 0; c < kChannels; ++c) {
            if (inTrack[c] > uses[c].busiestNotes) {
                uses[c].busiestNotes = inTrack[c];
                uses[c].busiestTrack = static_cast<uint32_t>(t);
            }
        }
    }
}

void findSettings(const Song& song, Uses& uses)
{
    for (const Event& e : song.events) {
        if (e.isSysex()) {
            bool drums = false;
            if (const int c = rhythmPartChannel(song.sysex(e.sysexIndex()), drums);
                c >= 0 && e.tick <= uses[c].firstNote)
                uses[c].drums.offer(e.tick, drums);
            continue;
        }
        Use& u = uses[e.status() & 0x0F];
        if (e.tick > u.firstNote)
            continue;
        if ((e.status() & 0xF0) == 0xC0)
            u.program.offer(e.tick, e.data1());
        else if ((e.status() & 0xF0) == 0xB0 && e.data1() == kBankMsb)
            u.bankMsb.offer(e.tick, e.data2());
        else if ((e.status() & 0xF0) == 0xB0 && e.data1() == kBankLsb)
            u.bankLsb.offer(e.tick, e.data2());
    }
}

// The first name each track gives itself, as the song's words are read:
// UTF-8 where it is valid, else Windows-1252, without control characters or
// the blanks around it.
std::vector<std::string> trackNames(const Song& song)
{
    std::vector<std::string> names(song.tracks.size());
    std::vector<bool> named(song.tracks.size());
    for (const TextEvent& e : song.texts) {
        if (e.type != kTrackNameType || e.track >= names.size() || named[e.track])
            continue;
        named[e.track] = true;
        std::string_view bytes(reinterpret_cast<const char*>(song.textBytes.data()) + e.offset, e.size);
        bytes = bytes.substr(0, bytes.find('\0'));
        const std::string decoded = isValidUtf8(bytes) ? std::string(bytes) : fromWindows1252(bytes);
        std::string& name = names[e.track];
        for (const char c : decoded)
            if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
                name += c;
        name.erase(0, name.find_first_not_of(' '));
        name.erase(name.find_last_not_of(' ') + 1);
        if (name.size() > kMostNameBytes) {
            size_t cut = kMostNameBytes;
            while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
                --cut;
            name.resize(cut);
        }
    }
    return names;
}

} // namespace

std::vector<ChannelUse> channelsOf(const Song& song)
{
    Uses uses;
    for (int c = 0; c < kChannels; ++c)
        uses[c].drums.value = c == kDrumChannel;
    countNotes(song, uses);
    findSettings(song, uses);
    const std::vector<std::string> names = trackNames(song);

    std::vector<ChannelUse> out;
    for (int c = 0; c < kChannels; ++c) {
        const Use& u = uses[c];
        if (u.notes == 0)
            continue;
        const bool drums = u.drums.value != 0;
        out.push_back({.channel = c,
            .drums = drums,
            .program = u.program.value,
            .bankMsb = u.bankMsb.value,
            .bankLsb = u.bankLsb.value,
            .instrument = instrumentName(drums, u.program.value),
            .trackName = names[u.busiestTrack],
            .notes = u.notes,
            .lowest = u.lowest,
            .highest = u.highest});
    }
    return out;
}

} // namespace midi
