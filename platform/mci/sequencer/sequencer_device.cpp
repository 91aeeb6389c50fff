#include "platform/mci/sequencer/sequencer_device.h"

namespace mci {

// Placeholder until the driver lands: the device table then reports that no driver is loaded.
std::unique_ptr<Device> makeSequencerDevice() { return nullptr; }

} // namespace mci
