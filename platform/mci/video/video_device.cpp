#include "platform/mci/video/video_device.h"

namespace mci {

// Placeholder until the driver lands: the device table then reports that no driver is loaded.
std::unique_ptr<Device> makeVideoDevice() { return nullptr; }

} // namespace mci
