#include "platform/midi/chase.h"

#include "platform/midi/messages.h"

#include <algorithm>

namespace midi {

namespace {

enum : uint8_t {
    BankMsb = 0,
    DataMsb = 6,
    BankLsb = 32,
    DataLsb = 38,
    DataIncrement = 96,
    NrpnLsb = 98,
    NrpnMsb = 99,
    RpnLsb = 100,
    RpnMsb = 101,
    ResetAllControllers = 121,
};

uint8_t controllerDefault(uint8_t number)
{
    switch (number) {
    case 7: return 100;
    case 8:
    case 10: return 64;
    case 11: return 127;
    case 91: return 40;
    default: return number >= 70 && number <= 79 ? 64 : 0;
    }
}

// Controllers that are chased as values of their own. Bank select goes with
// the program; data entry and parameter selection go with the parameters.
bool chasedAsValue(uint8_t number)
{
    return number != BankMsb && number != BankLsb && number != DataMsb && number != DataLsb
           && (number < DataIncrement || number > RpnMsb) && number < 120;
}

// A value as a chase sends it: as the song has it by now; its default where
// the song SETS it only LATER; -1, nothing, where it never does.
int chasedValue(int16_t value, bool setLater, int fallback)
{
    return value >= 0 ? value : setLater ? fallback : -1;
}

// Pitch bend range 2 semitones, fine and coarse tuning centred.
constexpr std::array<std::array<uint8_t, 2>, 3> rpnDefaults{{{2, 0}, {64, 0}, {64, 0}}};

} // namespace

void Chase::Channel::clearValues()
{
    cc.fill(-1);
    program = bend = pressure = -1;
    selMsb = selLsb = -1;
    selNrpn = false;
    params.clear();
}

bool Chase::Channel::empty() const
{
    return ccEver.none() && !programEver && !bendEver && !pressureEver && params.empty()
           && rpnEver.none() && selMsb < 0 && selLsb < 0;
}

Chase::Chase() = default;

void Chase::apply(const Event& event, const Song& song)
{
    if (event.isSysex()) {
        const auto packet = song.sysex(event.sysexIndex());
        sysex_.push_back(event.sysexIndex());
        // A reset takes every channel back to its defaults: what came before
        // it must not be chased over it.
        if (event.status() == 0xF0 && resetKind(packet) != ResetKind::None)
            for (Channel& ch : channels_)
                ch.clearValues();
        return;
    }
    Channel& ch = channels_[event.status() & 0x0F];
    switch (event.status() & 0xF0) {
    case 0xB0: applyController(ch, event.data1(), event.data2()); break;
    case 0xC0:
        ch.program = event.data1();
        ch.programEver = true;
        break;
    case 0xD0:
        ch.pressure = event.data1();
        ch.pressureEver = true;
        break;
    case 0xE0:
        ch.bend = static_cast<int16_t>(event.data1() | event.data2() << 7);
        ch.bendEver = true;
        break;
    default: break;
    }
}

void Chase::applyController(Channel& ch, uint8_t number, uint8_t value)
{
    switch (number) {
    case NrpnMsb:
    case NrpnLsb:
    case RpnMsb:
    case RpnLsb: {
        const bool nrpn = number == NrpnMsb || number == NrpnLsb;
        if (nrpn != ch.selNrpn) {
            ch.selNrpn = nrpn;
            ch.selMsb = ch.selLsb = -1;
        }
        (number == NrpnMsb || number == RpnMsb ? ch.selMsb : ch.selLsb) = value;
        return;
    }
    case DataMsb: dataEntry(ch, false, value); return;
    case DataLsb: dataEntry(ch, true, value); return;
    case ResetAllControllers:
        // What a reset of all controllers leaves, as sent to the synthesizer.
        ch.bend = 8192;
        ch.pressure = 0;
        ch.cc[1] = 0;
        ch.cc[11] = 127;
        for (int c = 64; c <= 67; ++c)
            ch.cc[c] = 0;
        ch.bendEver = ch.pressureEver = true;
        ch.ccEver.set(1).set(11).set(64).set(65).set(66).set(67);
        ch.selNrpn = false;
        ch.selMsb = ch.selLsb = 127;
        return;
    default:
        if (number < 120) {
            ch.cc[number] = value;
            ch.ccEver.set(number);
        }
    }
}

void Chase::dataEntry(Channel& ch, bool lsb, uint8_t value)
{
    if (ch.selMsb < 0 || ch.selLsb < 0 || (ch.selMsb == 127 && ch.selLsb == 127))
        return;
    const auto key = static_cast<uint16_t>(ch.selNrpn << 14 | ch.selMsb << 7 | ch.selLsb);
    Param& p = ch.params[key];
    (lsb ? p.valueLsb : p.valueMsb) = value;
    if (!ch.selNrpn && ch.selMsb == 0 && ch.selLsb < 3)
        ch.rpnEver.set(static_cast<size_t>(ch.selLsb));
}

void Chase::emit(const Song& song, const Chase& whole, const Send& send) const
{
    for (uint32_t index : sysex_)
        send(song.sysex(index));
    for (int c = 0; c < 16; ++c)
        emitChannel(c, channels_[c], whole.channels_[c], send);
}

// One channel's messages, as SEND takes them.
class Chase::Sender {
public:
    Sender(int channel, const Send& send) : channel_(channel), send_(send) { }

    void cc(uint8_t number, int value) const { message(0xB0, number, value); }
    void message(uint8_t kind, int data1) const
    {
        const uint8_t m[2] = {status(kind), static_cast<uint8_t>(data1)};
        send_(m);
    }
    void message(uint8_t kind, int data1, int data2) const
    {
        const uint8_t m[3] = {status(kind), static_cast<uint8_t>(data1), static_cast<uint8_t>(data2)};
        send_(m);
    }

private:
    uint8_t status(uint8_t kind) const { return static_cast<uint8_t>(kind | channel_); }

    int channel_;
    const Send& send_;
};

void Chase::emitChannel(int channel, const Channel& now, const Channel& ever, const Send& send) const
{
    if (now.empty() && ever.empty())
        return;
    const Sender out(channel, send);
    for (uint8_t bank : {BankMsb, BankLsb})
        if (const int v = chasedValue(now.cc[bank], ever.ccEver[bank], 0); v >= 0)
            out.cc(bank, v);
    if (const int v = chasedValue(now.program, ever.programEver, 0); v >= 0)
        out.message(0xC0, v);
    for (uint8_t n = 1; n < 120; ++n)
        if (chasedAsValue(n))
            if (const int v = chasedValue(now.cc[n], ever.ccEver[n], controllerDefault(n)); v >= 0)
                out.cc(n, v);
    emitParams(now, ever, out);
    if (const int v = chasedValue(now.bend, ever.bendEver, 8192); v >= 0)
        out.message(0xE0, v & 0x7F, v >> 7);
    if (const int v = chasedValue(now.pressure, ever.pressureEver, 0); v >= 0)
        out.message(0xD0, v);
}

void Chase::emitParams(const Channel& now, const Channel& ever, const Sender& out)
{
    bool selected = false;
    const auto select = [&](bool nrpn, uint8_t msb, uint8_t lsb) {
        out.cc(nrpn ? NrpnMsb : RpnMsb, msb);
        out.cc(nrpn ? NrpnLsb : RpnLsb, lsb);
        selected = true;
    };
    for (const auto& [key, p] : now.params) {
        select(key >> 14, (key >> 7) & 0x7F, key & 0x7F);
        if (p.valueMsb >= 0)
            out.cc(DataMsb, p.valueMsb);
        if (p.valueLsb >= 0)
            out.cc(DataLsb, p.valueLsb);
    }
    for (uint8_t r = 0; r < 3; ++r) {
        if (ever.rpnEver[r] && !now.params.count(r)) {
            select(false, 0, r);
            out.cc(DataMsb, rpnDefaults[r][0]);
            out.cc(DataLsb, rpnDefaults[r][1]);
        }
    }
    // Leave the selection as the song had it, or closed, so that a later
    // data entry does not land on a parameter chosen here.
    if (now.selMsb >= 0 || now.selLsb >= 0 || selected) {
        const bool nrpn = now.selNrpn;
        out.cc(nrpn ? NrpnMsb : RpnMsb, now.selMsb >= 0 ? now.selMsb : 127);
        out.cc(nrpn ? NrpnLsb : RpnLsb, now.selLsb >= 0 ? now.selLsb : 127);
    }
}

std::vector<ProgramChoice> programsSelected(const Song& song)
{
    constexpr int drumChannel = 9;
    std::vector<ProgramChoice> found{{.drums = false}, {.drums = true}};
    std::array<uint8_t, 16> msb{}, lsb{};
    for (const Event& e : song.events) {
        const uint8_t status = e.status();
        const int ch = status & 0x0F;
        if ((status & 0xF0) == 0xB0 && e.data1() == BankMsb)
            msb[ch] = e.data2();
        else if ((status & 0xF0) == 0xB0 && e.data1() == BankLsb)
            lsb[ch] = e.data2();
        else if ((status & 0xF0) == 0xC0)
            found.push_back({.drums = ch == drumChannel, .bankMsb = msb[ch], .bankLsb = lsb[ch], .program = e.data1()});
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

} // namespace midi
