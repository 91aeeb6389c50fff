#pragma once
// The sound card, through SDL2. The card is opened once for the whole run
// (44.1 kHz stereo, 32-bit float) and every output is a stream mixed into it:
// many drivers (SDL's dummy and disk drivers, JACK, some bare ALSA cards)
// allow one open device only, and opening and closing a device per track
// costs tens of milliseconds. A stream in another format is converted.
//
// The card plays on the sound output its caller names whenever a stream is
// added: when the name has changed, the card moves to the new device with
// every stream playing on it, so a running player changes over at its next
// track. A device that cannot be opened refuses the new stream and leaves
// the card where it was.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace audio {

struct Format {
    int sampleRate = 44100;
    int channels = 2;
    int periodFrames = 512; // frames per callback; the card's own once opened
};

// Runs on the audio thread: fill OUT with FRAMES frames of the stream's
// format. It must neither block nor allocate; whatever it leaves unwritten is
// silence already.
using RenderFn = std::function<void(float* out, int frames)>;

// How the sound server shows the card, in its mixer and to its policies. The
// card is one stream there, under the label of the stream that started
// last: a card that sleeps opens anew for a stream of another label, and on
// a server that shows labels (PulseAudio, PipeWire) a stream that starts
// while others play takes the server's stream over, without a gap.
enum class Role { Music, Video };
struct StreamLabel {
    std::string name; // empty: SDL's own
    Role role = Role::Music;

    bool operator==(const StreamLabel&) const = default;
};

// The label of a stream that plays the file PATH: its name without the folder.
inline StreamLabel fileLabel(const std::string& path, Role role)
{
    return {path.substr(path.find_last_of('/') + 1), role};
}

// The program's name for the sound server; it must come before the first
// sound, as some servers take it once, when SDL first connects.
void setApplicationName(const std::string& name);

// The names of the sound outputs the system offers, as SDL lists them, as
// they come and go; empty and ERROR set when there is no sound at all.
std::vector<std::string> outputDevices(std::string& error);

// Whether DEVICE (empty: the system's default) can be opened now; ERROR says
// why not. The card stays where it is.
bool canOpenDevice(const std::string& device, std::string& error);

// Whether the card is open and calling back for streams.
bool cardAwake();
// Why the sound output of the streams that play is lost: it failed and has
// not come back within a second, though it is tried again and again; empty
// while it plays or may yet come back. A track cannot go on without it.
std::string lostOutput();

// Whether the card is open at all: it closes once it has slept for a while
// (3 s unless set), and opens again at the next start.
bool cardOpen();
void setCloseAfterSleeping(std::chrono::milliseconds delay);

// Sees every buffer the card plays, on the audio thread, after all streams
// are mixed in: for measuring what reaches the loudspeaker. Empty removes it.
using Tap = std::function<void(const float* frames, int count)>;
void setTap(Tap tap);

// The gain of everything the card plays (every stream, mixed), from 0 to 1:
// the player's own volume, as the desktop's controls set it. 1 leaves the
// sound as it is.
void setVolume(double volume);
double volume();

// Moves the card, when it is open, to DEVICE (empty: the system's default),
// with every stream on it: an output that opens no stream of its own per
// track (the built-in synthesizer's) calls this at each. False and ERROR set
// when DEVICE cannot be opened; the card then stays where it was. The card
// shows LABEL from now on, as if a stream had started under it.
bool followDevice(const std::string& device, std::string& error, const StreamLabel& label = {});

class Output {
public:
    // Adds a stream to the card, paused, opening the card on DEVICE (empty:
    // the system's default) first if needed. Returns null and sets ERROR when
    // that output cannot be used: a machine without sound still runs the player.
    // LABEL shows when this stream opens the card.
    static std::unique_ptr<Output> open(const Format& wanted, RenderFn render, const std::string& device,
        std::string& error, const StreamLabel& label = {});

    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    const Format& format() const { return format_; }
    // For a stream that outlives its track (the synthesizer's): the label of
    // its next start; followDevice() shows it at once.
    void setLabel(const StreamLabel& label);
    // The card sleeps while no stream runs and wakes within a period of a
    // start.
    void start();
    // Once this returns the render function is not running, and it does not
    // run again until the next start.
    void pause();
    bool running() const;
    // For the render function only: IDLE stops the stream after this call,
    // as a pause would, without waiting; false takes that back.
    void setIdle(bool idle);

    // While a Lock lives no render function of any stream is running.
    class Lock {
    public:
        explicit Lock(Output& out);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;
    };

    struct Stream; // the card's side of this output

private:
    Output() = default;

    Format format_;
    Stream* stream_ = nullptr;
};

} // namespace audio
