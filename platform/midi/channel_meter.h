#pragma once
// How loud each channel sounds, for the window's meters: the highest
// velocity among the notes sounding on it, those its sustain pedal holds
// included, or of a note begun since the last look, so that a drum's short
// hit between two looks still shows; 0 when none. Fed the messages as they go out, on one thread;
// read from any other without waiting for it.
#include <array>
#include <atomic>
#include <cstdint>
#include <span>

namespace midi {

class ChannelMeter {
public:
    // On the sending thread.
    void observe(std::span<const uint8_t> message);
    void clear();
    // On any thread; one reader, as each look ends the last one's hits.
    std::array<uint8_t, 16> levels() const;

private:
    void lift(int channel);
    void rescan(int channel);

    // Per note: its velocity while it sounds, with kKeyDown while its key is.
    static constexpr uint8_t kKeyDown = 0x80;
    std::array<std::array<uint8_t, 128>, 16> notes_ {};
    std::array<bool, 16> pedal_ {};
    std::array<std::atomic<uint8_t>, 16> levels_ {};
    // The loudest note begun since the last look.
    mutable std::array<std::atomic<uint8_t>, 16> struck_ {};
};

} // namespace midi
