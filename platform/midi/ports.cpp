#include "platform/midi/ports.h"

#include <alsa/asoundlib.h>

#include <mutex>
#include <unistd.h>

namespace midi {

namespace {

constexpr const char* sequencerDevice = "/dev/snd/seq";

void quietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

class AlsaPortDirectory final : public PortDirectory {
public:
    bool available(std::string& reason) const override
    {
        if (::access(sequencerDevice, F_OK) != 0) {
            reason = std::string("This system has no ALSA sequencer (") + sequencerDevice + " is missing).";
            return false;
        }
        snd_seq_t* seq = open(reason);
        if (!seq)
            return false;
        snd_seq_close(seq);
        return true;
    }

    std::vector<Port> writablePorts() const override
    {
        std::vector<Port> ports;
        std::string ignored;
        snd_seq_t* seq = open(ignored);
        if (!seq)
            return ports;
        const int self = snd_seq_client_id(seq);
        snd_seq_client_info_t* client;
        snd_seq_port_info_t* port;
        snd_seq_client_info_alloca(&client);
        snd_seq_port_info_alloca(&port);
        snd_seq_client_info_set_client(client, -1);
        while (snd_seq_query_next_client(seq, client) >= 0) {
            const int id = snd_seq_client_info_get_client(client);
            if (id == SND_SEQ_CLIENT_SYSTEM || id == self)
                continue;
            snd_seq_port_info_set_client(port, id);
            snd_seq_port_info_set_port(port, -1);
            while (snd_seq_query_next_port(seq, port) >= 0) {
                const unsigned caps = snd_seq_port_info_get_capability(port);
                const unsigned wanted = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
                if ((caps & wanted) != wanted || (caps & SND_SEQ_PORT_CAP_NO_EXPORT))
                    continue;
                ports.push_back({id, snd_seq_port_info_get_port(port), snd_seq_client_info_get_name(client),
                                 snd_seq_port_info_get_name(port)});
            }
        }
        snd_seq_close(seq);
        return ports;
    }

private:
    static snd_seq_t* open(std::string& reason)
    {
        static const bool quiet = snd_lib_error_set_handler(quietAlsaErrors) == 0;
        (void)quiet;
        snd_seq_t* seq = nullptr;
        if (int rc = snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, 0); rc < 0) {
            reason = std::string("The ALSA sequencer cannot be reached (") + snd_strerror(rc) + ").";
            return nullptr;
        }
        return seq;
    }
};

struct Directory {
    std::mutex mutex;
    std::shared_ptr<PortDirectory> current = std::make_shared<AlsaPortDirectory>();
};

Directory& directory()
{
    static auto* d = new Directory;
    return *d;
}

} // namespace

std::string Port::address() const { return std::to_string(client) + ":" + std::to_string(port); }

std::shared_ptr<PortDirectory> portDirectory()
{
    std::lock_guard lock(directory().mutex);
    return directory().current;
}

std::shared_ptr<PortDirectory> setPortDirectory(std::shared_ptr<PortDirectory> replacement)
{
    std::lock_guard lock(directory().mutex);
    std::swap(directory().current, replacement);
    return replacement;
}

std::optional<Port> findPort(const std::vector<Port>& ports, const std::string& clientName,
                             const std::string& portName, const std::string& address)
{
    for (const Port& p : ports)
        if (p.clientName == clientName && p.portName == portName)
            return p;
    for (const Port& p : ports)
        if (!address.empty() && p.address() == address)
            return p;
    return std::nullopt;
}

std::string portTitle(const std::string& clientName, const std::string& portName)
{
    if (portName.empty())
        return clientName;
    if (clientName.empty() || portName.starts_with(clientName))
        return portName;
    return clientName + " " + portName;
}

} // namespace midi
