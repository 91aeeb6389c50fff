#include "platform/mci/video/video_device.h"

#include "platform/mci/video/session.h"
#include "platform/mci/video/video_window.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace mci::video {

namespace {

int64_t steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

uint32_t clamp32(int64_t v)
{
    return static_cast<uint32_t>(std::clamp<int64_t>(v, 0, std::numeric_limits<uint32_t>::max()));
}

} // namespace

Result VideoDevice::play()
{
    if (!session_)
        return notOpen();
    std::function<void()> endedAlready;
    {
        std::lock_guard lock(session_->mutex);
        if (session_->ended) {
            endedAlready = session_->endNotify;
        } else {
            session_->playing = true;
            session_->paused = false;
            session_->updateClock();
            session_->presenterWake.notify_all();
            session_->decoderWake.notify_all();
        }
    }
    if (endedAlready) { // playing from the end ends at once
        endedAlready();
        return Result::success();
    }
    if (audioClock_)
        audioClock_->startOutput();
    playAtNs_ = steadyNs();
    window_->present();
    return Result::success();
}

Result VideoDevice::pause()
{
    if (!session_)
        return notOpen();
    {
        std::lock_guard lock(session_->mutex);
        if (!session_->playing)
            return Result::success();
        session_->playing = false;
        session_->paused = true;
        session_->updateClock();
    }
    if (audioClock_)
        audioClock_->pauseOutput();
    return Result::success();
}

Result VideoDevice::resume()
{
    if (!session_)
        return notOpen();
    {
        std::lock_guard lock(session_->mutex);
        if (!session_->paused)
            return Result::failure(ErrUnsupportedFunction, "The video is not paused.");
    }
    return play();
}

Result VideoDevice::stop()
{
    if (!session_)
        return notOpen();
    {
        std::lock_guard lock(session_->mutex);
        session_->playing = false;
        session_->paused = false;
        session_->updateClock();
    }
    if (audioClock_)
        audioClock_->pauseOutput();
    return Result::success();
}

Result VideoDevice::seek(uint32_t position)
{
    if (!session_)
        return notOpen();
    int64_t us = 0;
    {
        std::lock_guard lock(session_->mutex);
        if (format_ == TimeFormat::Milliseconds) {
            if (position > ceilMs(session_->endUs))
                return Result::failure(ErrOutOfRange, errorText(ErrOutOfRange));
            us = static_cast<int64_t>(position) * 1000;
        } else {
            if (position > session_->lengthFrames)
                return Result::failure(ErrOutOfRange, errorText(ErrOutOfRange));
            us = session_->timeline.frameStartUs(position);
        }
    }
    return seekToUs(us);
}

Result VideoDevice::seekToStart()
{
    if (!session_)
        return notOpen();
    return seekToUs(0);
}

Result VideoDevice::seekToEnd()
{
    if (!session_)
        return notOpen();
    return seekToUs(std::numeric_limits<int64_t>::max());
}

Result VideoDevice::seekToUs(int64_t us)
{
    {
        Session& s = *session_;
        std::lock_guard lock(s.mutex);
        us = std::min(us, s.endUs);
        s.playing = false;
        s.paused = false;
        s.prerolled = false;
        s.ended = us >= s.endUs;
        s.updateClock();
        s.clock.setUs(us);
        ++s.epoch;
        s.seekPending = true;
        s.seekUs = us;
        // Pictures decoded for the old place must not show up at the new one.
        s.pool.clearQueue();
        if (s.mailbox >= 0) {
            s.pool.give(s.mailbox);
            s.mailbox = -1;
        }
        s.decoderWake.notify_all();
        s.presenterWake.notify_all();
    }
    if (audioClock_)
        audioClock_->pauseOutput();
    return Result::success();
}

Result VideoDevice::setTimeFormat(TimeFormat format)
{
    format_ = format == TimeFormat::Milliseconds ? TimeFormat::Milliseconds : TimeFormat::Frames;
    return Result::success();
}

Result VideoDevice::length(uint32_t& out)
{
    if (!session_)
        return notOpen();
    std::lock_guard lock(session_->mutex);
    out = clamp32(format_ == TimeFormat::Milliseconds ? ceilMs(session_->endUs) : session_->lengthFrames);
    return Result::success();
}

Result VideoDevice::position(uint32_t& out)
{
    if (!session_)
        return notOpen();
    Session& s = *session_;
    std::lock_guard lock(s.mutex);
    const bool ms = format_ == TimeFormat::Milliseconds;
    const int64_t length = ms ? ceilMs(s.endUs) : s.lengthFrames;
    if (s.ended) {
        out = clamp32(length);
        return Result::success();
    }
    // Only the end itself reports the length: until then the player must not
    // take the track for finished.
    const int64_t us = std::clamp<int64_t>(s.clock.nowUs(), 0, s.endUs);
    const int64_t pos = ms ? us / 1000 : s.timeline.frameAt(us);
    out = clamp32(std::min(pos, length - 1));
    return Result::success();
}

Mode VideoDevice::mode()
{
    if (!session_)
        return Mode::NotReady;
    std::lock_guard lock(session_->mutex);
    if (session_->playing)
        return Mode::Playing;
    return session_->paused ? Mode::Paused : Mode::Stopped;
}

void VideoDevice::framePainted()
{
    if (playAtNs_ < 0)
        return;
    firstFrameUs_ = (steadyNs() - playAtNs_) / 1000;
    playAtNs_ = -1;
}

} // namespace mci::video
