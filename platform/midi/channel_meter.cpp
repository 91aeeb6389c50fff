#include "platform/midi/channel_meter.h"

#include "platform/midi/messages.h"

#include <algorithm>

namespace midi {

void ChannelMeter::observe(std::span<const uint8_t> m)
{
    if (m.empty())
        return;
    if (m[0] == 0xF0) {
        if (resetKind(m) != ResetKind::None)
            clear();
        return;
    }
    if (m.size() < 3)
        return;
    const int kind = m[0] & 0xF0;
    const int ch = m[0] & 0x0F;
    std::atomic<uint8_t>& level = levels_[ch];
    if (kind == 0x90 && m[2] > 0) {
        notes_[ch][m[1] & 0x7F] = static_cast<uint8_t>(kKeyDown | m[2]);
        if (m[2] > level.load(std::memory_order_relaxed))
            level.store(m[2], std::memory_order_relaxed);
        uint8_t struck = struck_[ch].load(std::memory_order_relaxed);
        while (m[2] > struck && !struck_[ch].compare_exchange_weak(struck, m[2], std::memory_order_relaxed)) { }
    } else if (kind == 0x80 || kind == 0x90) {
        uint8_t& note = notes_[ch][m[1] & 0x7F];
        const uint8_t velocity = note & 0x7F;
        note = pedal_[ch] ? velocity : 0;
        // Only the loudest note's end can lower the level.
        if (!pedal_[ch] && velocity > 0 && velocity == level.load(std::memory_order_relaxed))
            rescan(ch);
    } else if (kind == 0xB0) {
        switch (m[1]) {
        case 64:
            if (m[2] < 64)
                lift(ch);
            else
                pedal_[ch] = true;
            break;
        case 120: // all sound off
            notes_[ch].fill(0);
            level.store(0, std::memory_order_relaxed);
            struck_[ch].store(0, std::memory_order_relaxed);
            break;
        case 121: // reset all controllers, the pedal among them
            lift(ch);
            break;
        case 123: // all notes off: the pedal still holds them
            for (uint8_t& note : notes_[ch])
                note = pedal_[ch] ? note & 0x7F : 0;
            if (!pedal_[ch])
                level.store(0, std::memory_order_relaxed);
            break;
        default:
            break;
        }
    }
}

void ChannelMeter::lift(int ch)
{
    if (!pedal_[ch])
        return;
    pedal_[ch] = false;
    for (uint8_t& note : notes_[ch])
        if (!(note & kKeyDown))
            note = 0;
    rescan(ch);
}

void ChannelMeter::rescan(int ch)
{
    uint8_t loudest = 0;
    for (uint8_t note : notes_[ch])
        loudest = std::max<uint8_t>(loudest, note & 0x7F);
    levels_[ch].store(loudest, std::memory_order_relaxed);
}

void ChannelMeter::clear()
{
    for (auto& channel : notes_)
        channel.fill(0);
    pedal_.fill(false);
    for (std::atomic<uint8_t>& level : levels_)
        level.store(0, std::memory_order_relaxed);
    for (std::atomic<uint8_t>& struck : struck_)
        struck.store(0, std::memory_order_relaxed);
}

std::array<uint8_t, 16> ChannelMeter::levels() const
{
    std::array<uint8_t, 16> out;
    for (size_t ch = 0; ch < out.size(); ++ch)
        out[ch]
            = std::max(levels_[ch].load(std::memory_order_relaxed), struck_[ch].exchange(0, std::memory_order_relaxed));
    return out;
}

} // namespace midi
