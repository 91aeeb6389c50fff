#pragma once
// A media device whose lengths and positions the test decides and whose
// every command is recorded. While a ScriptedMedia lives it is the driver of
// every device type.
#include "platform/mci/singer.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

class ScriptedDevice;

class ScriptedMedia {
public:
    ScriptedMedia();
    ~ScriptedMedia();
    ScriptedMedia(const ScriptedMedia&) = delete;
    ScriptedMedia& operator=(const ScriptedMedia&) = delete;

    // A file the device plays, LENGTH ms long. Files not added are refused.
    void add(const std::string& path, uint32_t lengthMs);
    void refuse(const std::string& path) { files_.erase(path); }
    // The title and words the device reports for the file at PATH.
    void setText(const std::string& path, mci::TrackText text) { texts_[path] = std::move(text); }
    // What a song at PATH hands up to the singer's views.
    void setParts(const std::string& path, mci::SongParts parts)
    {
        parts_[path] = std::make_shared<const mci::SongParts>(std::move(parts));
    }
    // How loud each channel sounds while metered.
    std::array<uint8_t, 16> levels {};

    // Every command, in order: "open sequencer /a.mid", "play", "seek 0", "close", ...
    std::vector<std::string> log;
    std::string joinedLog() const;
    void clearLog() { log.clear(); }

    // The device that is open now, or null.
    ScriptedDevice* current() const { return current_; }
    // Plays the open device to its end.
    void finish();
    // The same, and the device tells of its end at once, as a real one does
    // before the session's next tick.
    void endByItself();
    void setPosition(uint32_t ms);

private:
    friend class ScriptedDevice;
    std::map<std::string, uint32_t> files_;
    std::map<std::string, mci::TrackText> texts_;
    std::map<std::string, std::shared_ptr<const mci::SongParts>> parts_;
    ScriptedDevice* current_ = nullptr;
    std::map<mci::DeviceType, mci::Factory> saved_;
    std::map<mci::DeviceType, mci::Checker> savedCheckers_;
};

class ScriptedDevice : public mci::Device, private mci::Singer {
public:
    ScriptedDevice(ScriptedMedia& media, mci::DeviceType type);
    ~ScriptedDevice() override;

    mci::Result open(const std::string& path) override;
    void close() override;
    mci::Result play() override;
    mci::Result pause() override;
    mci::Result resume() override;
    mci::Result stop() override;
    mci::Result seek(uint32_t position) override;
    mci::Result seekToStart() override;
    mci::Result seekToEnd() override;
    mci::Result setTimeFormat(mci::TimeFormat format) override;
    mci::Result length(uint32_t& out) override;
    mci::Result position(uint32_t& out) override;
    mci::Mode mode() override;
    void setEndNotify(std::function<void()> notify) override;
    mci::TrackText text() override;
    // Songs have a singer's part; the other devices have none, as real ones.
    mci::Singer* singer() override { return type == mci::DeviceType::Sequencer ? this : nullptr; }

    std::string path;
    uint32_t lengthMs = 0;
    uint32_t positionMs = 0;
    mci::Mode state = mci::Mode::Stopped;
    mci::DeviceType type;
    bool metering = false;

private:
    std::shared_ptr<const mci::SongParts> parts() override;
    uint64_t positionMicros() override { return uint64_t {positionMs} * 1000; }
    mci::Result setTranspose(int semitones) override { return logged("key", semitones); }
    mci::Result setTempo(int percent) override { return logged("tempo", percent); }
    void setChannels(uint16_t silenced, uint16_t quiet) override;
    void setLoop(uint64_t begin, uint64_t end) override
    {
        media_.log.push_back("loop " + std::to_string(begin / 1000) + " " + std::to_string(end / 1000));
    }
    void clearLoop() override { media_.log.push_back("loop off"); }
    void setMetering(bool on) override { metering = on; }
    std::array<uint8_t, 16> levels() override;
    mci::Result logged(const char* what, int value);

    ScriptedMedia& media_;
    std::function<void()> notify_;
    friend class ScriptedMedia;
};

} // namespace testing_support
