#pragma once
// The state a song has built up on every channel by some point (bank,
// program, controllers, RPN and NRPN values, pitch bend, pressure) and the
// SysEx packets sent so far, so that playing from the middle of a song
// sounds as if it had been played from its start.
#include "platform/midi/smf.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <vector>

namespace midi {

// A sound a song selects: the bank it sets on a channel and the program it
// then chooses, on the drum channel or another.
struct ProgramChoice {
    bool drums = false;
    uint8_t bankMsb = 0;
    uint8_t bankLsb = 0;
    uint8_t program = 0;
    auto operator<=>(const ProgramChoice&) const = default;
};

// Every sound SONG selects, once each, and the piano and drum kit every reset
// selects. A bank select sent from another track than its program change is
// taken in track order, not playing order: a rare file loses only a head start.
std::vector<ProgramChoice> programsSelected(const Song& song);

class Chase {
public:
    using Send = std::function<void(std::span<const uint8_t>)>;

    Chase();
    // Folds one event of SONG, taken in playing order, into the state.
    void apply(const Event& event, const Song& song);

    // Sends what brings a synthesizer to this state: the SysEx packets in
    // order, then each channel's values. A value the song sets only later
    // (as WHOLE, the same song applied to its end, tells) goes back to its
    // default, undoing what playing past this point changed.
    void emit(const Song& song, const Chase& whole, const Send& send) const;

private:
    struct Param {
        int16_t valueMsb = -1, valueLsb = -1; // -1: not set
    };
    // Keyed by NRPN flag << 14 | parameter number.
    using Params = std::map<uint16_t, Param>;
    struct Channel {
        std::array<int16_t, 128> cc; // -1: not set
        std::bitset<128> ccEver;
        int16_t program = -1, bend = -1, pressure = -1;
        bool programEver = false, bendEver = false, pressureEver = false;
        int16_t selMsb = -1, selLsb = -1;
        bool selNrpn = false;
        Params params;
        std::bitset<3> rpnEver; // bend range, fine and coarse tuning

        Channel() { cc.fill(-1); }
        void clearValues();
        bool empty() const;
    };

    class Sender;

    void applyController(Channel& ch, uint8_t number, uint8_t value);
    void dataEntry(Channel& ch, bool lsb, uint8_t value);
    void emitChannel(int channel, const Channel& now, const Channel& ever, const Send& send) const;
    // The channel's RPN and NRPN values, and its selection as the song left it.
    static void emitParams(const Channel& now, const Channel& ever, const Sender& out);

    std::array<Channel, 16> channels_;
    std::vector<uint32_t> sysex_; // indices of the packets, in order
};

} // namespace midi
