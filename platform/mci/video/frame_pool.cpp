#include "platform/mci/video/frame_pool.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace mci::video {

bool Frame::makeImage(QSize size)
{
    if (image.size() != size)
        image = QImage(size, QImage::Format_RGB32); // every pixel is drawn before it is shown
    return !image.isNull();
}

FramePool::FramePool(int width, int height) : size_(width, height)
{
    for (int i = 0; i < kSlots; ++i) {
        frames_[i].decoded = av_frame_alloc();
        free_[freeCount_++] = i;
    }
}

FramePool::~FramePool()
{
    for (Frame& f : frames_)
        av_frame_free(&f.decoded);
}

int FramePool::take()
{
    return freeCount_ > 0 ? free_[--freeCount_] : -1;
}

void FramePool::give(int slot)
{
    frames_[slot].wrapped = QImage();
    frames_[slot].drawn = false;
    av_frame_unref(frames_[slot].decoded);
    free_[freeCount_++] = slot;
}

void FramePool::push(int slot)
{
    queue_[(head_ + count_) % kSlots] = slot;
    ++count_;
}

int FramePool::pop()
{
    const int slot = queue_[head_];
    head_ = (head_ + 1) % kSlots;
    --count_;
    return slot;
}

void FramePool::clearQueue()
{
    while (!empty())
        give(pop());
}

} // namespace mci::video
