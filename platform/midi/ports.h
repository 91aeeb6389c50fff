#pragma once
// The external synthesizers the player can reach: the ports of the ALSA
// sequencer that take MIDI, and the one a stored choice names.
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace midi {

struct Port {
    int client = 0;
    int port = 0;
    std::string clientName;
    std::string portName;

    // "CLIENT:PORT" by number.
    std::string address() const;
    bool operator==(const Port&) const = default;
};

class PortDirectory {
public:
    virtual ~PortDirectory() = default;
    // False and REASON set, for the user, when there is no sequencer to ask.
    virtual bool available(std::string& reason) const = 0;
    // The ports others may write to, in client and port order.
    virtual std::vector<Port> writablePorts() const = 0;
};

// The ALSA sequencer's, unless another was put in.
std::shared_ptr<PortDirectory> portDirectory();
// Puts DIRECTORY in for the rest of the run (tests fill their own); returns
// the previous one so that it can be put back.
std::shared_ptr<PortDirectory> setPortDirectory(std::shared_ptr<PortDirectory> directory);

// The port a stored choice means among PORTS: the one with both names;
// else the one at ADDRESS ("CLIENT:PORT"), since some synthesizers carry
// their process number in their names and come back under new ones. None
// when neither is there.
std::optional<Port> findPort(const std::vector<Port>& ports, const std::string& clientName,
                             const std::string& portName, const std::string& address);

// How a user knows the port: its own name, with the client's in front when
// the port's does not begin with it.
std::string portTitle(const std::string& clientName, const std::string& portName);

} // namespace midi
