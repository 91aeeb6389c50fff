#include "platform/midi/output.h"

#include "platform/midi/alsa_output.h"
#include "platform/midi/capture_output.h"
#include "platform/midi/synth_output.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

namespace midi {

namespace {

struct OutputKind {
    const char* name;
    std::unique_ptr<Output> (*open)(const std::string& argument, std::string& error);
};

// In order of preference; the first is the default.
const OutputKind outputKinds[] = {
    {"synth", [](const std::string&, std::string& error) -> std::unique_ptr<Output> { return SynthOutput::open(error); }},
    {"alsa", [](const std::string& address, std::string& error) -> std::unique_ptr<Output> {
         return AlsaOutput::open(address, error);
     }},
    {"capture", [](const std::string&, std::string&) -> std::unique_ptr<Output> {
         return std::make_unique<CaptureOutput>();
     }},
};

std::string describedOutput()
{
    const char* named = std::getenv("QUORVANA_MIDI_OUT");
    return named && *named ? named : outputKinds[0].name;
}

// The outputs opened so far, kept to the end of the run; never destroyed,
// so that no audio thread outlives what it renders during exit.
struct SharedOutputs {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<Output>> opened;
};

SharedOutputs& shared()
{
    static auto* outputs = new SharedOutputs;
    return *outputs;
}

// Joins a preload still running when the program ends.
struct Preloader {
    std::mutex mutex;
    std::thread thread;
    ~Preloader()
    {
        if (thread.joinable())
            thread.join();
    }
};

Preloader& preloader()
{
    static Preloader p;
    return p;
}

} // namespace

std::unique_ptr<Output> openOutput(const std::string& description, std::string& error)
{
    const size_t colon = description.find(':');
    const std::string name = description.substr(0, colon);
    const std::string argument = colon == std::string::npos ? std::string() : description.substr(colon + 1);
    for (const OutputKind& kind : outputKinds)
        if (name == kind.name)
            return kind.open(argument, error);
    std::string known;
    for (const OutputKind& kind : outputKinds)
        known += std::string(known.empty() ? "" : ", ") + kind.name;
    error = "Unknown MIDI output \"" + name + "\" in QUORVANA_MIDI_OUT (known: " + known + ").";
    return nullptr;
}

std::shared_ptr<Output> sharedOutput(const std::string& description, std::string& error)
{
    SharedOutputs& outputs = shared();
    std::lock_guard lock(outputs.mutex);
    if (auto it = outputs.opened.find(description); it != outputs.opened.end())
        return it->second;
    std::shared_ptr<Output> out = openOutput(description, error);
    if (out)
        outputs.opened[description] = out;
    return out;
}

std::shared_ptr<Output> sharedOutput(std::string& error) { return sharedOutput(describedOutput(), error); }

void preloadSharedOutput()
{
    Preloader& p = preloader();
    std::lock_guard lock(p.mutex);
    if (p.thread.joinable())
        return;
    p.thread = std::thread([description = describedOutput()] {
        std::string ignored; // the open that needs it reports the error
        sharedOutput(description, ignored);
    });
}

std::shared_ptr<CaptureOutput> sharedCapture()
{
    std::string error;
    return std::dynamic_pointer_cast<CaptureOutput>(sharedOutput("capture", error));
}

} // namespace midi
