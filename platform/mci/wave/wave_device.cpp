#include "platform/mci/wave/wave_device.h"

namespace mci {

// Placeholder until the driver lands: the device table then reports that no driver is loaded.
std::unique_ptr<Device> makeWaveDevice() { return nullptr; }

} // namespace mci
