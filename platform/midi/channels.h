#pragma once
// What each channel of a song plays: its sound as chosen before its first
// note, the track that carries it, and the notes it spans. Plain C++ with no
// other library, as the file reader is.
#include "platform/midi/smf.h"

#include <cstdint>
#include <string>
#include <vector>

namespace midi {

struct ChannelUse {
    int channel; // 0..15 (shown to users as 1..16)
    // Channel 10, or a part a GS song makes a rhythm part by SysEx.
    bool drums;
    int program; // the program set before or at the channel's first note, -1 when none (then GM program 0 is heard)
    int bankMsb, bankLsb; // as set before the first note, 0 when none
    std::string instrument; // the name shown: GM name, or the kit name for drums
    // The name of the track holding most of the channel's notes, where that
    // track has a name; UTF-8, read as the words are.
    std::string trackName;
    uint32_t notes; // note-ons with velocity > 0
    int lowest, highest; // note numbers
};

// The channels that play at least one note, in channel order.
std::vector<ChannelUse> channelsOf(const Song& song);

} // namespace midi
