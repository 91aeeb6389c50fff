#include "platform/mci/video/decoder.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <chrono>

namespace mci::video {

bool Decoder::prepareResampler(const AVFrame* frame)
{
    if (swr_ && frame->format == swrFormat_ && frame->sample_rate == swrRate_
        && av_channel_layout_compare(&frame->ch_layout, &swrLayout_) == 0)
        return true;
    swr_free(&swr_);
    av_channel_layout_uninit(&swrLayout_);
    if (av_channel_layout_copy(&swrLayout_, &frame->ch_layout) < 0)
        return false;
    swrFormat_ = frame->format;
    swrRate_ = frame->sample_rate;
    AVChannelLayout in {};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&in, frame->ch_layout.nb_channels);
    else
        av_channel_layout_copy(&in, &frame->ch_layout);
    AVChannelLayout out {};
    av_channel_layout_default(&out, audio_->ring().channels());
    const int rc = swr_alloc_set_opts2(&swr_, &out, AV_SAMPLE_FMT_FLT, audio_->sampleRate(), &in,
        static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (rc < 0 || swr_init(swr_) < 0) {
        swr_free(&swr_);
        return false;
    }
    return true;
}

void Decoder::takeAudioFrame(AVFrame* frame)
{
    if (frame->nb_samples <= 0 || frame->sample_rate <= 0 || !prepareResampler(frame))
        return;
    const int channels = audio_->ring().channels();
    const int room = swr_get_out_samples(swr_, frame->nb_samples);
    if (room <= 0)
        return;
    if (sound_.size() < static_cast<size_t>(room) * channels)
        sound_.resize(static_cast<size_t>(room) * channels); // grows to the largest frame, once
    uint8_t* out = reinterpret_cast<uint8_t*>(sound_.data());
    const int n = swr_convert(swr_, &out, room, const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    if (n <= 0)
        return;
    const int64_t ts = frame->best_effort_timestamp;
    const int64_t at = ts == AV_NOPTS_VALUE ? audio_->ring().writeIndex() : file_.audioSample(ts);
    writeSound(sound_.data(), n, at);
}

void Decoder::writeSound(const float* data, int64_t frames, int64_t at)
{
    const int channels = audio_->ring().channels();
    const int64_t rate = audio_->sampleRate();
    const int64_t maxJump = rate; // beyond this a time stamp is not believed
    const int64_t tolerance = rate / 50; // smaller differences are rounding, not gaps
    int64_t diff = at - audio_->ring().writeIndex();
    if (!soundStarted_) {
        // Sound from before the seek target is not heard.
        if (diff > maxJump)
            diff = 0;
    } else if (diff > maxJump || diff < -maxJump || (diff > -tolerance && diff < tolerance)) {
        diff = 0;
    }
    if (diff < 0) {
        const int64_t drop = std::min(frames, -diff);
        data += drop * channels;
        frames -= drop;
        diff = 0;
    }
    if (frames <= 0)
        return;
    if (diff > 0 && !pushSound(nullptr, diff))
        return;
    if (pushSound(data, frames))
        soundStarted_ = true;
}

bool Decoder::pushSound(const float* data, int64_t frames)
{
    AudioRing& ring = audio_->ring();
    for (;;) {
        const int64_t n = ring.write(data, frames);
        if (data)
            data += n * ring.channels();
        frames -= n;
        if (frames <= 0)
            return true;
        std::unique_lock lock(s_.mutex);
        if (stale())
            return false;
        if (prerolling_ && s_.playing && !s_.prerolled) {
            // The sound runs far ahead of the picture in this file: start the
            // clock, or the ring would never drain and the picture never come.
            s_.prerolled = true;
            s_.updateClock();
            s_.presenterWake.notify_all();
        }
        // The audio thread frees room without telling anyone, so look again
        // after a small part of the ring has played.
        if (s_.playing && s_.prerolled)
            s_.decoderWake.wait_for(lock, std::chrono::milliseconds(20));
        else
            s_.decoderWake.wait(lock);
        if (stale())
            return false;
    }
}

} // namespace mci::video
