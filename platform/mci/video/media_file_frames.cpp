#include "platform/mci/video/media_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstring>

namespace mci::video {

void MediaFile::measureLength()
{
    // The headers' frame count, as the Windows video device takes it; a file
    // cut short holds fewer, and playback ends where its data does.
    AVStream* st = format_->streams[videoIndex_];
    if (st->nb_frames > 0)
        frames_ = st->nb_frames;
    else if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
        frames_ = frameIndex(videoStart_ + st->duration);
    else if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0)
        frames_ = timeline_.frameAt(format_->duration);
    // Without any, the frames are counted, within what an open may read.
    if (frames_ <= 0)
        frames_ = countFrames();
}

void MediaFile::measurePictureDelay()
{
    // AVI keeps decoding times only. With B-frames the decoder hands each
    // picture out a frame or more after the packet that starts it, so the
    // time stamps FFmpeg gives are late by that much (by more for packed
    // B-frames) and the last pictures fall past the end. The first picture
    // of the file belongs to its first frame: that measures the delay.
    if (std::strcmp(format_->iformat->name, "avi") != 0 || video_->has_b_frames <= 0)
        return;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int64_t firstPacket = -1;
    int64_t firstPicture = -1;
    for (int n = 0; packet && frame && firstPicture < 0 && n < 64 && av_read_frame(format_, packet) >= 0; ++n) {
        if (packet->stream_index == videoIndex_) {
            const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (firstPacket < 0 && ts != AV_NOPTS_VALUE)
                firstPacket = frameIndex(ts);
            if (avcodec_send_packet(video_, packet) >= 0 && avcodec_receive_frame(video_, frame) >= 0
                && frame->best_effort_timestamp != AV_NOPTS_VALUE)
                firstPicture = frameIndex(frame->best_effort_timestamp);
            av_frame_unref(frame);
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    if (firstPacket >= 0 && firstPicture > firstPacket)
        pictureDelay_ = std::min<int64_t>(firstPicture - firstPacket, 16);
    seekToFrame(0);
    avcodec_flush_buffers(video_);
}

int64_t MediaFile::countFrames()
{
    AVPacket* packet = av_packet_alloc();
    if (!packet)
        return frames_;
    int64_t end = 0;
    while (av_read_frame(format_, packet) >= 0) {
        if (packet->stream_index == videoIndex_) {
            const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (ts != AV_NOPTS_VALUE)
                end = std::max(end, frameIndex(ts) + packetFrames(packet));
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    seekToFrame(0);
    return end;
}

int64_t MediaFile::frameIndex(int64_t pts) const
{
    const AVStream* st = format_->streams[videoIndex_];
    return av_rescale_q_rnd(pts - videoStart_, st->time_base,
        AVRational {static_cast<int>(timeline_.rateDen), static_cast<int>(timeline_.rateNum)},
        static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
}

int64_t MediaFile::packetFrames(const AVPacket* packet) const
{
    if (packet->duration <= 0)
        return 1;
    const AVStream* st = format_->streams[videoIndex_];
    const int64_t n = av_rescale_q(packet->duration, st->time_base,
        AVRational {static_cast<int>(timeline_.rateDen), static_cast<int>(timeline_.rateNum)});
    return std::max<int64_t>(1, n);
}

int64_t MediaFile::audioSample(int64_t pts) const
{
    const AVRational perSample {1, sampleRate_};
    return av_rescale_q(pts, format_->streams[audioIndex_]->time_base, perSample)
        - av_rescale_q(videoStart_, format_->streams[videoIndex_]->time_base, perSample);
}

bool MediaFile::seekToFrame(int64_t frame)
{
    const AVStream* st = format_->streams[videoIndex_];
    const int64_t ts = videoStart_
        + av_rescale_q(frame, AVRational {static_cast<int>(timeline_.rateDen), static_cast<int>(timeline_.rateNum)},
            st->time_base);
    if (av_seek_frame(format_, videoIndex_, ts, AVSEEK_FLAG_BACKWARD) >= 0)
        return true;
    // Without an index entry before the target, start over from the beginning.
    if (av_seek_frame(format_, videoIndex_, videoStart_, AVSEEK_FLAG_BACKWARD) >= 0)
        return true;
    return avformat_seek_file(format_, -1, INT64_MIN, 0, INT64_MAX, 0) >= 0;
}

} // namespace mci::video
