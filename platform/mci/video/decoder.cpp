#include "platform/mci/video/decoder.h"

#include "platform/mci/video/rgb24.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include <algorithm>

namespace mci::video {

namespace {

// A damaged stretch of file gives read errors until the demuxer finds the
// next good chunk; this many in a row means there is nothing left to find.
constexpr int kMaxReadErrors = 64;

} // namespace

Decoder::Decoder(MediaFile& file, Session& session, AudioClock* audio)
    : file_(file), s_(session), audio_(audio), length_(session.lengthFrames)
{
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    held_ = av_frame_alloc();
}

Decoder::~Decoder()
{
    join();
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    av_frame_free(&held_);
    swr_free(&swr_);
    av_channel_layout_uninit(&swrLayout_);
}

void Decoder::start()
{
    thread_ = std::thread([this] { run(); });
}

void Decoder::join()
{
    if (thread_.joinable())
        thread_.join();
}

bool Decoder::stale() const
{
    return s_.quit.load(std::memory_order_relaxed) || s_.epoch.load(std::memory_order_acquire) != epoch_;
}

void Decoder::run()
{
    if (!packet_ || !frame_ || !held_)
        return; // out of memory: the picture stays black and the time runs on
    for (;;) {
        {
            std::unique_lock lock(s_.mutex);
            s_.decoderWake.wait(lock, [&] { return s_.quit || s_.seekPending || !atEnd_; });
            if (s_.quit)
                return;
            if (s_.seekPending) {
                s_.seekPending = false;
                const int64_t us = s_.seekUs;
                const uint64_t epoch = s_.epoch;
                lock.unlock();
                beginSeek(us, epoch);
                continue;
            }
        }
        if (!readPacket())
            endOfData();
    }
}

void Decoder::beginSeek(int64_t us, uint64_t epoch)
{
    epoch_ = epoch;
    seekUs_ = us;
    atEnd_ = false;
    target_ = std::clamp<int64_t>(s_.timeline.frameAt(us), 0, std::max<int64_t>(0, length_ - 1));
    fromStart_ = target_ == 0;
    file_.seekToFrame(target_);
    avcodec_flush_buffers(file_.video());
    if (file_.audio())
        avcodec_flush_buffers(file_.audio());
    av_frame_unref(held_);
    heldIndex_ = -1;
    lastIndex_ = -1;
    lastSeen_ = -1;
    dataEnd_ = -1;
    landedAt_ = -1;
    stepsBack_ = 0;
    prerolling_ = true;
    readErrors_ = 0;
    soundStarted_ = false;
    if (audio_)
        audio_->resetRing(audio_->sampleAt(us));
}

bool Decoder::readPacket()
{
    const int rc = av_read_frame(file_.format(), packet_);
    if (rc < 0) {
        if (rc == AVERROR_EOF || s_.quit || ++readErrors_ > kMaxReadErrors)
            return false;
        return !(file_.format()->pb && avio_feof(file_.format()->pb));
    }
    readErrors_ = 0;
    if (packet_->stream_index == file_.videoIndex()) {
        const int64_t ts = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
        if (ts != AV_NOPTS_VALUE) {
            const int64_t index = file_.frameIndex(ts);
            dataEnd_ = std::max(dataEnd_, index + file_.packetFrames(packet_));
            if (landedAt_ < 0)
                landedAt_ = index;
        }
        decode(file_.video(), packet_, &Decoder::takeVideoFrame);
    } else if (packet_->stream_index == file_.audioIndex() && audio_) {
        decode(file_.audio(), packet_, &Decoder::takeAudioFrame);
    }
    av_packet_unref(packet_);
    return true;
}

void Decoder::decode(AVCodecContext* ctx, const AVPacket* packet, void (Decoder::*take)(AVFrame*))
{
    int rc = avcodec_send_packet(ctx, packet);
    while (rc >= 0 || rc == AVERROR(EAGAIN)) {
        bool drained = false;
        while (!stale()) {
            if (avcodec_receive_frame(ctx, frame_) < 0) {
                drained = true;
                break;
            }
            (this->*take)(frame_);
            av_frame_unref(frame_);
        }
        if (rc != AVERROR(EAGAIN) || !drained)
            break;
        rc = avcodec_send_packet(ctx, packet);
    }
    // A packet the decoder rejects is a damaged frame: it is skipped.
}

void Decoder::takeVideoFrame(AVFrame* frame)
{
    if ((frame->flags & AV_FRAME_FLAG_CORRUPT) || frame->decode_error_flags)
        return;
    const int64_t ts = frame->best_effort_timestamp;
    const int64_t index = ts == AV_NOPTS_VALUE ? lastSeen_ + 1 : file_.pictureIndex(ts);
    lastSeen_ = index;
    if (index < 0 || index >= length_)
        return;
    if (prerolling_) {
        if (index > target_ && heldIndex_ < 0 && landedAt_ > 0 && stepsBack_ < 4) {
            stepBack();
            return;
        }
        if (index < target_) {
            // Not shown, but kept: if the target frame itself never comes,
            // the last one before it is the picture at the target.
            av_frame_unref(held_);
            av_frame_move_ref(held_, frame);
            heldIndex_ = index;
            return;
        }
        prerolling_ = false;
        if (heldIndex_ >= 0 && index > target_) {
            const bool ok = deliver(held_, heldIndex_, true);
            av_frame_unref(held_);
            heldIndex_ = -1;
            if (ok)
                deliver(frame, index, false);
        } else {
            deliver(frame, index, true);
        }
        return;
    }
    if (index > lastIndex_)
        deliver(frame, index, false);
}

bool Decoder::deliver(const AVFrame* frame, int64_t index, bool preroll)
{
    const int slot = takeSlot();
    if (slot < 0)
        return false;
    Frame& f = s_.pool[slot]; // ours until queued
    const bool kept = keepPicture(f, frame);
    std::lock_guard lock(s_.mutex);
    if (!kept || stale()) {
        s_.pool.give(slot);
        return false;
    }
    if (f.drawn)
        ++s_.converted;
    f.index = index;
    f.startUs = s_.timeline.frameStartUs(index);
    f.endUs = s_.timeline.frameStartUs(index + 1);
    f.epoch = epoch_;
    f.preroll = preroll;
    s_.pool.push(slot);
    lastIndex_ = index;
    s_.presenterWake.notify_all();
    return true;
}

int Decoder::takeSlot()
{
    std::unique_lock lock(s_.mutex);
    for (;;) {
        if (stale())
            return -1;
        const int slot = s_.pool.take();
        if (slot >= 0)
            return slot;
        s_.decoderWake.wait(lock);
    }
}

bool Decoder::keepPicture(Frame& f, const AVFrame* frame)
{
    // A 24-bit picture is turned into the window's colours at once. Held as
    // it is, it would be copied twice anyway: the classic AVI decoders draw
    // each picture over the one before and copy it whole while anyone holds
    // that one, and the painter would convert it on every paint.
    const QSize size = s_.pool.pictureSize();
    f.drawn = frame->format == AV_PIX_FMT_RGB24 && QSize(frame->width, frame->height) == size && f.makeImage(size);
    if (f.drawn)
        rgb24IntoRgb32(frame->data[0], frame->linesize[0], f.image);
    // Otherwise a reference, not a copy: the presenter converts it if it is shown.
    return f.drawn || (f.decoded && frame->width > 0 && frame->height > 0 && av_frame_ref(f.decoded, frame) >= 0);
}

void Decoder::markPrerolled()
{
    std::lock_guard lock(s_.mutex);
    if (stale())
        return;
    s_.prerolled = true;
    s_.updateClock();
    s_.presenterWake.notify_all();
}

void Decoder::endOfData()
{
    drain(file_.video(), &Decoder::takeVideoFrame);
    if (audio_)
        drain(file_.audio(), &Decoder::takeAudioFrame);
    if (stale())
        return;
    if (dataEnd_ < 0 && !fromStart_) {
        // The seek found nothing to read (no index to go by): read from the start.
        restartFromBeginning();
        return;
    }
    if (prerolling_)
        finishPreroll();
    markEnd();
}

void Decoder::drain(AVCodecContext* ctx, void (Decoder::*take)(AVFrame*))
{
    avcodec_send_packet(ctx, nullptr);
    while (!stale() && avcodec_receive_frame(ctx, frame_) >= 0) {
        (this->*take)(frame_);
        av_frame_unref(frame_);
    }
}

void Decoder::finishPreroll()
{
    prerolling_ = false;
    if (heldIndex_ >= 0) {
        deliver(held_, heldIndex_, true);
        av_frame_unref(held_);
        heldIndex_ = -1;
    } else {
        markPrerolled();
    }
}

void Decoder::markEnd()
{
    std::lock_guard lock(s_.mutex);
    atEnd_ = true;
    if (stale())
        return;
    // A file cut short ends where its data ends.
    const int64_t end = std::max<int64_t>(0, dataEnd_);
    if (end < s_.lengthFrames) {
        s_.lengthFrames = length_ = end;
        s_.endUs = s_.timeline.frameStartUs(end);
        if (!s_.playing && s_.clock.nowUs() >= s_.endUs)
            s_.ended = true;
    }
    s_.presenterWake.notify_all();
}

void Decoder::seekFileTo(int64_t frame)
{
    file_.seekToFrame(frame);
    avcodec_flush_buffers(file_.video());
    if (file_.audio())
        avcodec_flush_buffers(file_.audio());
    if (audio_) {
        audio_->resetRing(audio_->sampleAt(seekUs_));
        soundStarted_ = false;
    }
}

void Decoder::restartFromBeginning()
{
    fromStart_ = true;
    seekFileTo(0);
    lastSeen_ = -1;
    readErrors_ = 0;
}

void Decoder::stepBack()
{
    // The first picture after the key frame comes after the target: the
    // B-frames before it in time need the key frame before, so start there.
    ++stepsBack_;
    seekFileTo(landedAt_ - 1);
    landedAt_ = -1;
    lastSeen_ = -1;
}

} // namespace mci::video
