#include "platform/midi/output.h"

#include "platform/audio/audio_output.h"

#include "platform/midi/alsa_output.h"
#include "platform/midi/capture_output.h"
#include "platform/midi/ports.h"
#include "platform/midi/soundfonts.h"
#include "platform/midi/synth_output.h"
#include "platform/multimedia/choices.h"

#include <map>
#include <mutex>
#include <thread>

namespace midi {

namespace {

using audio::StreamLabel;
using multimedia::Choices;

struct OutputKind {
    const char* name;
    std::unique_ptr<Output> (*open)(
        const std::string& argument, const Choices& choices, std::string& error, const StreamLabel& label);
    // Brings a shared output of this kind up to the choices and the label of
    // a song's open; null when there is nothing to bring.
    bool (*refresh)(Output& output, const std::string& argument, const Choices& choices, std::string& error,
        const StreamLabel& label)
        = nullptr;
    // One output of this kind serves every description of it.
    bool single = false;
};

std::string soundfontFor(const std::string& argument, const Choices& choices, std::string& error)
{
    return argument.empty() ? findSoundfont(choices, error) : argument;
}

// In order of preference; the first is the default.
const OutputKind outputKinds[] = {
    {.name = "synth",
        .open = [](const std::string& soundfont, const Choices& choices, std::string& error,
                    const StreamLabel& label) -> std::unique_ptr<Output> {
            const std::string path = soundfontFor(soundfont, choices, error);
            return path.empty() ? nullptr : SynthOutput::open(path, choices.soundOutput, error, label);
        },
        .refresh =
            [](Output& out, const std::string& soundfont, const Choices& choices, std::string& error,
                const StreamLabel& label) {
                auto& synth = static_cast<SynthOutput&>(out);
                const std::string path = soundfontFor(soundfont, choices, error);
                if (path.empty() || !synth.useSoundfont(path, error))
                    return false;
                synth.setLabel(label);
                return audio::followDevice(choices.soundOutput, error, label);
            },
        .single = true},
    {.name = "alsa",
        .open = [](const std::string& address, const Choices& choices, std::string& error, const StreamLabel&)
            -> std::unique_ptr<Output> { return AlsaOutput::open(address, resetSettleTime(choices), error); },
        .refresh =
            [](Output& out, const std::string&, const Choices& choices, std::string&, const StreamLabel&) {
                static_cast<AlsaOutput&>(out).setSettleTime(resetSettleTime(choices));
                return true;
            }},
    {.name = "capture",
        .open = [](const std::string&, const Choices&, std::string&, const StreamLabel&) -> std::unique_ptr<Output> {
            return std::make_unique<CaptureOutput>();
        }},
};

const OutputKind* kindNamed(const std::string& name)
{
    for (const OutputKind& kind : outputKinds)
        if (name == kind.name)
            return &kind;
    return nullptr;
}

// The stored external synthesizer as "alsa:CLIENT:PORT", looked up by name
// at every open so that a device plugged in again is found under its new
// numbers.
std::string chosenPort(const Choices& choices, std::string& error)
{
    const std::string title = portTitle(choices.midiClient, choices.midiPort);
    const std::shared_ptr<PortDirectory> directory = portDirectory();
    std::string reason;
    if (!directory->available(reason)) {
        error = "The MIDI port \"" + title + "\" cannot be reached: " + reason;
        return {};
    }
    const auto port = findPort(directory->writablePorts(), choices.midiClient, choices.midiPort, choices.midiAddress);
    if (!port) {
        error = "The MIDI port \"" + title + "\" is not connected.";
        return {};
    }
    return std::string("alsa:") + port->address();
}

// The output the environment overrides with, else the one CHOICES name;
// empty and ERROR set when the chosen port is not there.
std::string describedOutput(const Choices& choices, std::string& error)
{
    if (!choices.overrides.midiOutput.empty())
        return choices.overrides.midiOutput;
    if (choices.midiOutput == multimedia::MidiOutput::External)
        return chosenPort(choices, error);
    return outputKinds[0].name;
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

std::pair<std::string, std::string> splitDescription(const std::string& description)
{
    const size_t colon = description.find(':');
    return {description.substr(0, colon), colon == std::string::npos ? std::string() : description.substr(colon + 1)};
}

std::unique_ptr<Output> openOutput(
    const std::string& description, const Choices& choices, std::string& error, const StreamLabel& label)
{
    const auto [name, argument] = splitDescription(description);
    if (const OutputKind* kind = kindNamed(name))
        return kind->open(argument, choices, error, label);
    std::string known;
    for (const OutputKind& kind : outputKinds)
        known += std::string(known.empty() ? "" : ", ") + kind.name;
    error = "Unknown MIDI output \"" + name + "\" in " + multimedia::kMidiOutVariable + " (known: " + known + ").";
    return nullptr;
}

std::shared_ptr<Output> sharedOutput(
    const std::string& description, const Choices& choices, std::string& error, const StreamLabel& label)
{
    const auto [name, argument] = splitDescription(description);
    const OutputKind* kind = kindNamed(name);
    const std::string key = kind && kind->single ? name : description;
    SharedOutputs& outputs = shared();
    std::lock_guard lock(outputs.mutex);
    if (auto it = outputs.opened.find(key); it != outputs.opened.end()) {
        if (kind && kind->refresh && !kind->refresh(*it->second, argument, choices, error, label))
            return nullptr;
        return it->second;
    }
    std::shared_ptr<Output> out = openOutput(description, choices, error, label);
    if (out)
        outputs.opened[key] = out;
    return out;
}

std::shared_ptr<Output> sharedOutput(const Choices& choices, std::string& error, const StreamLabel& label)
{
    const std::string description = describedOutput(choices, error);
    return description.empty() ? nullptr : sharedOutput(description, choices, error, label);
}

std::string synthSoundfont(const Choices& choices, std::string& error)
{
    const auto [name, argument] = splitDescription(choices.overrides.midiOutput);
    return soundfontFor(name == outputKinds[0].name ? argument : std::string(), choices, error);
}

void preloadSharedOutput(const Choices& choices)
{
    Preloader& p = preloader();
    std::lock_guard lock(p.mutex);
    if (p.thread.joinable())
        return;
    p.thread = std::thread([choices] {
        std::string ignored; // the open that needs it reports the error
        sharedOutput(choices, ignored);
    });
}

std::shared_ptr<CaptureOutput> sharedCapture()
{
    std::string error;
    return std::dynamic_pointer_cast<CaptureOutput>(sharedOutput("capture", {}, error));
}

} // namespace midi
