#include "platform/mci/drivers/drivers.h"

#include "platform/fs/system_info.h"
#include "platform/mci/mci.h"
#include "platform/mci/sequencer/sequencer_device.h"
#include "platform/mci/wave/wave_device.h"
#include "platform/midi/output.h"

#include <dlfcn.h>
#include <unistd.h>
#include <mutex>
#include <string>

namespace mci {

namespace {

using MakeVideo = Device* (*)(const multimedia::Choices*);

std::string executableFolder()
{
    const std::string path = kernel::moduleFileName();
    return path.empty() ? std::string(".") : path.substr(0, path.find_last_of('/'));
}

// The video module lies beside the executable in a build folder and in
// lib/quorvana below an installed one; it is loaded once and kept.
void* openVideoModule(std::string& why)
{
    const std::string folder = executableFolder();
    for (const std::string& path : {folder + "/quorvana-video.so", folder + "/../lib/quorvana/quorvana-video.so"}) {
        if (::access(path.c_str(), F_OK) != 0)
            continue;
        if (void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))
            return module;
        why = dlerror();
        return nullptr;
    }
    why = "quorvana-video.so is neither beside " + folder + " nor in " + folder + "/../lib/quorvana";
    return nullptr;
}

MakeVideo loadVideoModule(std::string& error)
{
    static std::once_flag once;
    static MakeVideo make = nullptr;
    static std::string why;
    std::call_once(once, [] {
        void* module = openVideoModule(why);
        if (!module)
            return;
        make = reinterpret_cast<MakeVideo>(dlsym(module, "quorvana_make_video_device"));
        if (!make)
            why = "the video module has no driver";
    });
    error = why;
    return make;
}

// Stands in for the video driver when its module cannot be loaded, so that
// the user reads why instead of a bare "driver not loaded".
class MissingVideoDriver : public Device {
public:
    explicit MissingVideoDriver(std::string why) : why_(std::move(why)) {}
    Result open(const std::string&) override
    {
        return Result::failure(ErrCannotLoadDriver, "The video driver could not be loaded (" + why_ + ").");
    }
    void close() override {}
    Result play() override { return notReady(); }
    Result pause() override { return notReady(); }
    Result resume() override { return notReady(); }
    Result stop() override { return notReady(); }
    Result seek(uint32_t) override { return notReady(); }
    Result seekToStart() override { return notReady(); }
    Result seekToEnd() override { return notReady(); }
    Result setTimeFormat(TimeFormat) override { return notReady(); }
    Result length(uint32_t&) override { return notReady(); }
    Result position(uint32_t&) override { return notReady(); }
    Mode mode() override { return Mode::NotReady; }
    void setEndNotify(std::function<void()>) override {}

private:
    static Result notReady() { return Result::failure(ErrDeviceNotReady, errorText(ErrDeviceNotReady)); }
    std::string why_;
};

std::unique_ptr<Device> makeVideoFromModule(const multimedia::Choices& choices)
{
    std::string error;
    if (MakeVideo make = loadVideoModule(error))
        return std::unique_ptr<Device>(make(&choices));
    return std::make_unique<MissingVideoDriver>(error);
}

} // namespace

void registerBuiltinDrivers()
{
    setFactory(DeviceType::WaveAudio, makeWaveDevice);
    setChecker(DeviceType::WaveAudio, checkWaveFile);
    setFactory(DeviceType::Sequencer, makeSequencerDevice);
    setChecker(DeviceType::Sequencer, checkSongFile);
    setPreparer(DeviceType::Sequencer, midi::preloadSharedOutput);
    setFactory(DeviceType::AviVideo, makeVideoFromModule);
}

} // namespace mci
