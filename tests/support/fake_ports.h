#pragma once
// The ALSA sequencer's ports as a test sets them; this machine has no sequencer.
#include "platform/midi/ports.h"

#include <string>
#include <vector>

namespace testing_support {

struct FakePorts final : midi::PortDirectory {
    bool available(std::string& reason) const override
    {
        reason = missing;
        return missing.empty();
    }
    std::vector<midi::Port> writablePorts() const override { return ports; }

    std::string missing; // empty: there is a sequencer
    std::vector<midi::Port> ports;
};

} // namespace testing_support
