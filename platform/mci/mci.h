#pragma once
// Media devices in the shape of the media control commands (mci: the Media
// Control Interface of the system the player was designed for): one small
// interface that the wave, sequencer and video drivers implement and that the
// media-player control drives.
#include "platform/multimedia/choices.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace mci {

// The numbers are the media-player control's device types.
enum class DeviceType : int { AutoSelect = 0, AviVideo = 1, Sequencer = 9, WaveAudio = 12 };

enum class Mode { NotReady, Stopped, Playing, Paused, Seeking, Open };

// Milliseconds is what the player sets after every open; Frames is the video
// device's own default; Default is whatever a device starts with.
enum class TimeFormat { Default, Milliseconds, Frames };

// Error codes of our own, numbered like the media control's.
enum Error : uint32_t {
    Ok = 0,
    ErrInvalidDeviceId = 257,
    ErrHardware = 262,
    ErrInvalidDeviceName = 263,
    ErrOutOfMemory = 264,
    ErrCannotLoadDriver = 266,
    ErrUnsupportedFunction = 274,
    ErrFileNotFound = 275,
    ErrDeviceNotReady = 276,
    ErrInternal = 277,
    ErrOutOfRange = 282,
    ErrInvalidFile = 296,
    ErrNoAudioDevice = 312,
    ErrUnsupportedFormat = 313,
    ErrFileRead = 348,
};

struct Result {
    uint32_t code = Ok;
    std::string text; // English, for the user; empty only on success

    bool ok() const { return code == Ok; }
    static Result success() { return {}; }
    static Result failure(uint32_t code, std::string text) { return {code, std::move(text)}; }
};

// The text of a code where a device gave none.
std::string errorText(uint32_t code);

// What a device knows of its track's words; empty where it knows nothing.
struct TrackText {
    std::string title; // the track's own title, UTF-8
    std::string words; // all its words, UTF-8, lines ending in line feeds
};

class Singer;

// One opened media file (or, for the sequencer, no file). A device object is
// opened once; closing is destroying it. Every call comes from the GUI thread
// and returns promptly: play starts playback and returns at once.
class Device {
public:
    virtual ~Device() = default;

    // PATH empty: open without a file (only the sequencer allows it).
    virtual Result open(const std::string& path) = 0;
    virtual void close() = 0;

    virtual Result play() = 0;
    virtual Result pause() = 0;
    virtual Result resume() = 0;
    virtual Result stop() = 0;
    // Positions in the current time format; each leaves the device stopped.
    virtual Result seek(uint32_t position) = 0;
    virtual Result seekToStart() = 0;
    virtual Result seekToEnd() = 0;

    virtual Result setTimeFormat(TimeFormat format) = 0;
    virtual Result length(uint32_t& out) = 0;
    virtual Result position(uint32_t& out) = 0;
    virtual Mode mode() = 0;

    // Called from any thread when playback stops of the device's own accord:
    // it reached the end, or the user closed the window the device shows,
    // which stops it as stop() would. Never for a call of the caller's. The
    // receiver must hand it over to its own thread and ask the device what
    // changed; a device never calls it after close.
    virtual void setEndNotify(std::function<void()> notify) = 0;

    // A device may take a big file at once and read it on a worker, where
    // reading it would keep the caller waiting: until the reading is over its
    // mode is NotReady and its length 0, and what play, stop and seek ask is
    // done once the file is read. NOTIFY is then called once, on the caller's
    // thread from its event loop, with the outcome: success, or why the file
    // cannot play after all (the device then holds no file). Never after
    // close; a device that reads its file within open never calls it.
    virtual void setReadyNotify(std::function<void(const Result&)> notify) { (void)notify; }

    virtual TrackText text() { return {}; }

    // What the open song offers those who sing and play along; none for a
    // device that plays no song (waves and videos) or holds none.
    virtual Singer* singer() { return nullptr; }
};

// Makes a device that plays with CHOICES: the user's, read once per open by
// the caller.
using Factory = std::function<std::unique_ptr<Device>(const multimedia::Choices& choices)>;

// Replaces the driver of one device type (tests put their scripted device in).
// Returns the previous factory so that it can be put back.
Factory setFactory(DeviceType type, Factory factory);

// Gets a device type ready ahead of its first open, in the background, for
// a driver whose first open would keep the user waiting (the synthesizer
// loads its soundfont). Drivers that need nothing leave it unset.
using Preparer = std::function<void(const multimedia::Choices& choices)>;
void setPreparer(DeviceType type, Preparer preparer);
// Returns at once; does nothing for a type with no preparer.
void prepareDevice(DeviceType type, const multimedia::Choices& choices);

// Reads FILE as the driver of TYPE would, without opening a device or
// touching an output: whether a track could start without stopping the one
// that plays. Drivers that read nothing ahead leave it unset.
using Checker = std::function<Result(const std::string& file)>;
// Returns the previous checker, so that it can be put back.
Checker setChecker(DeviceType type, Checker checker);
// Success for a type without a checker; AutoSelect is refused as by openDevice.
Result checkFile(DeviceType type, const std::string& file);

// Creates the device for TYPE with CHOICES and opens FILE on it. AutoSelect
// is refused: the caller picks the device for a file. On failure OUT stays
// empty and the result says why.
Result openDevice(
    DeviceType type, const std::string& file, const multimedia::Choices& choices, std::unique_ptr<Device>& out);

} // namespace mci
