#pragma once
#include "platform/mci/mci.h"

namespace mci {

std::unique_ptr<Device> makeSequencerDevice();

} // namespace mci
