#include "platform/mci/drivers/drivers.h"

#include "platform/mci/mci.h"
#include "platform/mci/sequencer/sequencer_device.h"
#include "platform/mci/video/video_device.h"
#include "platform/mci/wave/wave_device.h"

namespace mci {

void registerBuiltinDrivers()
{
    setFactory(DeviceType::WaveAudio, makeWaveDevice);
    setFactory(DeviceType::Sequencer, makeSequencerDevice);
    setFactory(DeviceType::AviVideo, makeVideoDevice);
}

} // namespace mci
