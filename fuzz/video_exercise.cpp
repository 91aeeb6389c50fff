#include "fuzz/exercises.h"

#include "platform/mci/video/media_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <unistd.h>

namespace fuzzing {

std::string exerciseVideo(const uint8_t* data, size_t size)
{
    int fd = -1;
    const std::string path = memoryFile(data, size, fd);
    std::string problem;
    if (!path.empty()) {
        mci::video::MediaFile file;
        if (file.open(path).ok()) {
            if (file.frames() < 0 || file.width() <= 0 || file.height() <= 0 || file.width() > 16384)
                problem = "an open gave a length or size that makes no sense";
            AVPacket* packet = av_packet_alloc();
            for (int64_t target : {file.frames() / 2, int64_t{0}}) {
                file.seekToFrame(target);
                for (int n = 0; problem.empty() && n < 24 && av_read_frame(file.format(), packet) >= 0; ++n) {
                    if (packet->stream_index == file.videoIndex()) {
                        if (packet->pts != AV_NOPTS_VALUE)
                            file.frameIndex(packet->pts);
                        if (file.packetFrames(packet) < 1)
                            problem = "a packet covers no frame";
                    }
                    av_packet_unref(packet);
                }
            }
            av_packet_free(&packet);
        }
    }
    if (fd >= 0)
        ::close(fd);
    return problem;
}

} // namespace fuzzing
