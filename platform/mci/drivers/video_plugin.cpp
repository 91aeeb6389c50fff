// The video driver as a module of its own: FFmpeg and the codec libraries it
// pulls in are loaded with the first video, not at every start of the player.
#include "platform/mci/video/video_device.h"

extern "C" __attribute__((visibility("default"))) mci::Device* quorvana_make_video_device(
    const multimedia::Choices* choices)
{
    return mci::makeVideoDevice(*choices).release();
}
