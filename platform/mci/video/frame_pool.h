#pragma once
// Pictures between the decoder and the window. A slot's pixels are allocated
// when it is first drawn into, on the decoding or presenting thread: an open
// costs nothing per pixel, whatever picture size the file claims. Playing
// then only passes slot numbers around. Not thread-safe on its own: the
// session's lock guards it.
#include <QImage>

struct AVFrame;

#include <array>
#include <cstdint>

namespace mci::video {

struct Frame {
    // The decoder's picture waits here in its own colours: only a frame that
    // is going to be shown is worth converting into IMAGE, which the window
    // paints as it is.
    AVFrame* decoded = nullptr;
    QImage image;
    // DECODED itself, when it is already in a form the window paints well.
    QImage wrapped;
    // IMAGE holds the picture already, converted as it was decoded; DECODED
    // is empty.
    bool drawn = false;
    const QImage& picture() const { return wrapped.isNull() ? image : wrapped; }
    // Gives IMAGE its pixels at SIZE, kept for the slot's next pictures; false
    // when there is no memory for them. Called by whoever holds the slot.
    bool makeImage(QSize size);
    int64_t index = 0;   // frame number
    int64_t startUs = 0; // on screen from
    int64_t endUs = 0;   // until, when the next frame follows
    uint64_t epoch = 0;  // the seek it was decoded for
    bool preroll = false; // the picture at a seek target: shown at once
};

class FramePool {
public:
    // Four frames decoded ahead, one handed to the window, one on screen.
    static constexpr int kSlots = 6;

    FramePool(int width, int height);
    ~FramePool();
    FramePool(const FramePool&) = delete;
    FramePool& operator=(const FramePool&) = delete;

    // The picture as shown; fixed for the pool's life, so read without the lock.
    QSize pictureSize() const { return size_; }

    Frame& operator[](int slot) { return frames_[slot]; }
    const Frame& operator[](int slot) const { return frames_[slot]; }

    // A free slot, or -1 when all are in use.
    int take();
    // Lets go of the decoder's picture too, so the decoder can reuse it.
    void give(int slot);

    // The queue of decoded frames, oldest first.
    bool empty() const { return count_ == 0; }
    int front() const { return queue_[head_]; }
    void push(int slot);
    int pop();
    // Gives every queued frame back.
    void clearQueue();

private:
    const QSize size_;
    std::array<Frame, kSlots> frames_;
    std::array<int, kSlots> free_{};
    int freeCount_ = 0;
    std::array<int, kSlots> queue_{};
    int head_ = 0;
    int count_ = 0;
};

} // namespace mci::video
