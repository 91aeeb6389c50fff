#pragma once
// The key a singer wants, applied to the messages of a song as they go out.
#include <array>
#include <cstdint>
#include <functional>
#include <span>

namespace midi {

// The key a singer wants: every note but the percussion channel's moved by
// a number of semitones. Every sounding note, drums too, keeps the key it
// was struck at, so that its note-off ends that key whatever changed
// meanwhile, and a channel that falls silent can end each one.
class Transposer {
public:
    using Send = std::function<void(std::span<const uint8_t>)>;

    int semitones() const { return semitones_; }
    // Moves a channel message to the key in use. False when it must not go
    // out: a note moved off the keyboard, or the end of one that does not sound.
    bool pass(std::span<uint8_t> message);
    // Follows the pedals and resets in what goes out besides the notes.
    void observe(std::span<const uint8_t> message);
    // Moves the key. The notes sounding end through SEND, and so do those the
    // sustain pedal holds, rather than ring on in the old key.
    void change(int semitones, const Send& send);
    // Ends the notes sounding on CHANNELS through SEND, and those their
    // sustain pedals hold; a pedal that was down goes down again after, as
    // the song has it, for the notes to come.
    void end(uint16_t channels, const Send& send);
    // CHANNELS were silenced, their pedals let go.
    void silenced(uint16_t channels);

private:
    struct Struck {
        int8_t key = -1; // as sent; -1: not sounding
        uint8_t count = 0; // note-ons not yet ended
    };
    int semitones_ = 0;
    std::array<std::array<Struck, 128>, 16> struck_;
    std::array<uint8_t, 16> sustain_ {}; // the pedal as last sent
};

} // namespace midi
