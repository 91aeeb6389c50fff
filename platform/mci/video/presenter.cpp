#include "platform/mci/video/presenter.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <QtGlobal>

#include <algorithm>
#include <chrono>

namespace mci::video {

namespace {

// QImage::Format_RGB32 is 0xffRRGGBB in the machine's word order.
constexpr AVPixelFormat kImageFormat =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? AV_PIX_FMT_BGRA : AV_PIX_FMT_ARGB;

// Decoded layouts the window paints as they are: the painter turns them into
// the screen's colours on its way to the screen, in one pass instead of two.
struct PaintableLayout {
    AVPixelFormat decoded;
    QImage::Format image;
};
constexpr PaintableLayout kPaintable[] = {
    {Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_0RGB, QImage::Format_RGB32},
    {kImageFormat, QImage::Format_RGB32},
    {AV_PIX_FMT_RGB565, QImage::Format_RGB16},
    {AV_PIX_FMT_RGB555, QImage::Format_RGB555},
};

QImage paintableAsItIs(const AVFrame* from, QSize size)
{
    if (QSize(from->width, from->height) != size || from->linesize[0] <= 0 || from->linesize[0] % 4 != 0)
        return {};
    for (const PaintableLayout& l : kPaintable)
        if (from->format == l.decoded)
            return QImage(static_cast<const uchar*>(from->data[0]), from->width, from->height, from->linesize[0], l.image);
    return {};
}

} // namespace

Presenter::Presenter(Session& session, std::function<void()> wakeWindow)
    : s_(session), wakeWindow_(std::move(wakeWindow))
{
}

Presenter::~Presenter()
{
    join();
    sws_freeContext(sws_);
}

void Presenter::start()
{
    thread_ = std::thread([this] { run(); });
}

void Presenter::join()
{
    if (thread_.joinable())
        thread_.join();
}

void Presenter::run()
{
    std::unique_lock lock(s_.mutex);
    while (!s_.quit) {
        if (settleHead(lock))
            continue;
        if (!s_.playing || !s_.prerolled || s_.ended) {
            s_.presenterWake.wait(lock);
            continue;
        }
        followClock(lock);
    }
}

bool Presenter::settleHead(std::unique_lock<std::mutex>& lock)
{
    if (s_.pool.empty())
        return false;
    const Frame& head = s_.pool[s_.pool.front()];
    if (head.epoch != s_.epoch) {
        s_.pool.give(s_.pool.pop());
        s_.decoderWake.notify_all();
        return true;
    }
    if (!head.preroll)
        return false;
    if (show(lock, head.startUs)) {
        s_.prerolled = true;
        s_.updateClock();
        s_.decoderWake.notify_all();
    }
    return true;
}

void Presenter::followClock(std::unique_lock<std::mutex>& lock)
{
    const int64_t now = s_.clock.nowUs();
    if (now >= s_.endUs) {
        finish(lock);
        return;
    }
    if (s_.pool.empty()) {
        waitFor(lock, s_.endUs - now);
        return;
    }
    const Frame& head = s_.pool[s_.pool.front()];
    // Late by more than a frame: dropped, unless the picture on screen is
    // old already. A machine too slow for the file would otherwise drop
    // every frame and show one still picture to the end.
    if (now > head.endUs && now - lastShownUs_ < kMaxStillUs) {
        drop();
        return;
    }
    if (now < head.startUs) {
        waitFor(lock, std::min(head.startUs, s_.endUs) - now);
        return;
    }
    show(lock, now);
}

bool Presenter::show(std::unique_lock<std::mutex>& lock, int64_t atUs)
{
    // Out of the queue the slot is ours alone: a seek can no longer give it
    // away while it is converted without the lock.
    const int slot = s_.pool.pop();
    const uint64_t epoch = s_.epoch;
    const bool drawnAlready = s_.pool[slot].drawn;
    lock.unlock();
    const bool converted = convert(s_.pool[slot]);
    lock.lock();
    if (!drawnAlready)
        ++s_.converted;
    if (s_.quit || s_.epoch != epoch) {
        s_.pool.give(slot);
        s_.decoderWake.notify_all();
        return false;
    }
    if (!converted) { // a damaged picture: the one before stays up
        s_.pool.give(slot);
        ++s_.dropped;
        s_.decoderWake.notify_all();
        return true;
    }
    lastShownUs_ = atUs;
    ++s_.presented;
    const int unseen = s_.mailbox;
    s_.mailbox = slot;
    if (unseen >= 0) { // the window did not get round to it
        s_.pool.give(unseen);
        ++s_.dropped;
        s_.decoderWake.notify_all();
    }
    wakeWindow_();
    return true;
}

bool Presenter::convert(Frame& frame)
{
    if (frame.drawn)
        return true;
    AVFrame* from = frame.decoded;
    const QSize size = s_.pool.pictureSize();
    // Kept with its decoded picture until the slot is given back.
    frame.wrapped = paintableAsItIs(from, size);
    if (!frame.wrapped.isNull())
        return true;
    QImage& image = frame.image;
    bool ok = from->width > 0 && from->height > 0 && frame.makeImage(size);
    if (ok) {
        sws_ = sws_getCachedContext(sws_, from->width, from->height, static_cast<AVPixelFormat>(from->format),
            size.width(), size.height(), kImageFormat, SWS_BILINEAR, nullptr, nullptr, nullptr);
        ok = sws_ != nullptr;
    }
    if (ok) {
        // Straight into the pixels the window paints; the window holds no
        // other reference, so bits() does not detach.
        uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
        const int stride[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
        ok = sws_scale(sws_, from->data, from->linesize, 0, from->height, dst, stride) > 0;
    }
    av_frame_unref(from); // the decoder may reuse its buffer at once
    return ok;
}

void Presenter::drop()
{
    s_.pool.give(s_.pool.pop());
    ++s_.dropped;
    s_.decoderWake.notify_all();
}

void Presenter::finish(std::unique_lock<std::mutex>& lock)
{
    s_.ended = true;
    s_.playing = false;
    s_.paused = false;
    s_.updateClock();
    wakeWindow_(); // the GUI thread lets the sound card rest
    const std::function<void()> notify = s_.endNotify;
    if (notify) {
        lock.unlock();
        notify();
        lock.lock();
    }
}

void Presenter::waitFor(std::unique_lock<std::mutex>& lock, int64_t us)
{
    // The sound card's clock stands still between late periods; a floor on the
    // wait keeps that from turning into a spin.
    s_.presenterWake.wait_for(lock, std::chrono::microseconds(std::max<int64_t>(us, 1000)));
}

} // namespace mci::video
