#include "platform/midi/transposer.h"

#include "platform/midi/messages.h"

namespace midi {

namespace {

constexpr int kPercussion = 9;

bool endsNote(std::span<const uint8_t> m)
{
    return (m[0] & 0xF0) == 0x80 || ((m[0] & 0xF0) == 0x90 && m[2] == 0);
}

} // namespace

bool Transposer::pass(std::span<uint8_t> m)
{
    observe(m);
    const int kind = m[0] & 0xF0;
    const int channel = m[0] & 0x0F;
    if (m.size() < 3 || kind > 0xA0)
        return true;
    Struck& note = struck_[channel][m[1] & 0x7F];
    if (kind == 0x90 && m[2] > 0) {
        // A drum's key names its instrument: it never moves.
        const int key = m[1] + (channel == kPercussion ? 0 : semitones_);
        if (key < 0 || key > 127)
            return false;
        // A note struck again before its end keeps the key it sounds at.
        note.key = note.count > 0 ? note.key : static_cast<int8_t>(key);
        ++note.count;
    } else if (note.count == 0) {
        return false;
    }
    m[1] = static_cast<uint8_t>(note.key);
    if (endsNote(m) && --note.count == 0)
        note.key = -1;
    return true;
}

void Transposer::observe(std::span<const uint8_t> m)
{
    if (m.empty())
        return;
    if (m[0] == 0xF0 && resetKind(m) != ResetKind::None)
        sustain_.fill(0);
    if ((m[0] & 0xF0) != 0xB0 || m.size() < 3)
        return;
    const int channel = m[0] & 0x0F;
    if (m[1] == 64)
        sustain_[channel] = m[2];
    else if (m[1] == 121)
        sustain_[channel] = 0;
    else if (m[1] == 120 || m[1] == 123)
        struck_[channel].fill({});
}

void Transposer::change(int semitones, const Send& send)
{
    if (semitones == semitones_)
        return;
    semitones_ = semitones;
    end(static_cast<uint16_t>(0xFFFF & ~(1u << kPercussion)), send);
}

void Transposer::end(uint16_t channels, const Send& send)
{
    for (uint8_t ch = 0; ch < 16; ++ch) {
        if (!(channels & (1u << ch)))
            continue;
        for (Struck& note : struck_[ch]) {
            for (; note.count > 0; --note.count) {
                const uint8_t off[3] = {static_cast<uint8_t>(0x80 | ch), static_cast<uint8_t>(note.key), 0};
                send(off);
            }
            note.key = -1;
        }
        // Lifting the pedal lets go of the notes it holds; it goes down
        // again for the notes to come.
        if (sustain_[ch] >= 64) {
            const uint8_t up[3] = {static_cast<uint8_t>(0xB0 | ch), 64, 0};
            const uint8_t down[3] = {static_cast<uint8_t>(0xB0 | ch), 64, sustain_[ch]};
            send(up);
            send(down);
        }
    }
}

void Transposer::silenced(uint16_t channels)
{
    for (int ch = 0; ch < 16; ++ch) {
        struck_[ch].fill({});
        if (channels & (1u << ch))
            sustain_[ch] = 0;
    }
}

} // namespace midi
