#include "settings/multimedia_checks.h"

#include "platform/audio/audio_output.h"
#include "platform/midi/soundfonts.h"
#include "platform/midi/synth.h"

namespace multimedia_checks {

PortScan scanPorts()
{
    PortScan scan;
    const std::shared_ptr<midi::PortDirectory> directory = midi::portDirectory();
    scan.sequencerAvailable = directory->available(scan.reason);
    if (scan.sequencerAvailable) {
        scan.ports = directory->writablePorts();
        if (scan.ports.empty())
            scan.reason = "No MIDI port is connected.";
    }
    return scan;
}

std::optional<std::string> soundOutputProblem(const multimedia::Choices& shown, const multimedia::Choices& stored)
{
    std::string error;
    if (shown.soundOutput == stored.soundOutput || audio::canOpenDevice(shown.soundOutput, error))
        return std::nullopt;
    return error;
}

std::optional<std::string> soundfontProblem(const multimedia::Choices& shown, const multimedia::Choices& stored)
{
    if (shown.soundfont == stored.soundfont)
        return std::nullopt;
    const std::string path = shown.soundfont.empty() ? midi::systemSoundfont() : shown.soundfont;
    if (path.empty())
        return "No soundfont is installed for the built-in synthesizer.";
    std::string error;
    if (midi::Synth::create(44100, path, error) != nullptr)
        return std::nullopt;
    return error;
}

std::optional<std::string> portProblem(const multimedia::Choices& shown, const std::vector<midi::Port>& ports)
{
    if (midi::findPort(ports, shown.midiClient, shown.midiPort, shown.midiAddress))
        return std::nullopt;
    const std::string title = midi::portTitle(shown.midiClient, shown.midiPort);
    return title.empty() ? "No MIDI port is chosen." : "The MIDI port \"" + title + "\" is not connected.";
}

bool samePort(const multimedia::Choices& shown, const multimedia::Choices& stored)
{
    return shown.midiOutput == stored.midiOutput && shown.midiClient == stored.midiClient
        && shown.midiPort == stored.midiPort && shown.midiAddress == stored.midiAddress;
}

} // namespace multimedia_checks
