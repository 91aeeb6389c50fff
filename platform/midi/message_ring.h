#pragma once
// Timed messages handed to the audio thread, which must never wait: a ring
// of bytes with one producer at a time (callers serialise) and one consumer.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace midi {

class MessageRing {
public:
    // CAPACITY is rounded up to a power of two.
    explicit MessageRing(size_t capacity)
    {
        size_t c = 64;
        while (c < capacity)
            c <<= 1;
        bytes_.resize(c);
        mask_ = c - 1;
    }

    // False when there is no room.
    bool push(std::span<const uint8_t> message, int64_t due)
    {
        const size_t need = sizeof(Header) + message.size();
        const uint64_t head = head_.load(std::memory_order_relaxed);
        if (need > bytes_.size() - (head - tail_.load(std::memory_order_acquire)))
            return false;
        const Header h{static_cast<uint32_t>(message.size()), due};
        copyIn(head, &h, sizeof h);
        copyIn(head + sizeof h, message.data(), message.size());
        head_.store(head + need, std::memory_order_release);
        return true;
    }

    // The due time of the oldest message, if there is one.
    bool peekDue(int64_t& due) const
    {
        const uint64_t tail = tail_.load(std::memory_order_relaxed);
        if (head_.load(std::memory_order_acquire) == tail)
            return false;
        Header h;
        copyOut(tail, &h, sizeof h);
        due = h.due;
        return true;
    }

    // Takes the oldest message into OUT (at most MAX bytes are kept) and
    // returns its size.
    size_t pop(uint8_t* out, size_t max)
    {
        const uint64_t tail = tail_.load(std::memory_order_relaxed);
        Header h;
        copyOut(tail, &h, sizeof h);
        const size_t kept = h.size < max ? h.size : max;
        copyOut(tail + sizeof h, out, kept);
        tail_.store(tail + sizeof h + h.size, std::memory_order_release);
        return kept;
    }

private:
    struct Header {
        uint32_t size;
        int64_t due;
    };

    void copyIn(uint64_t at, const void* src, size_t n)
    {
        const size_t start = static_cast<size_t>(at & mask_);
        const size_t first = n < bytes_.size() - start ? n : bytes_.size() - start;
        std::memcpy(bytes_.data() + start, src, first);
        std::memcpy(bytes_.data(), static_cast<const uint8_t*>(src) + first, n - first);
    }
    void copyOut(uint64_t at, void* dst, size_t n) const
    {
        const size_t start = static_cast<size_t>(at & mask_);
        const size_t first = n < bytes_.size() - start ? n : bytes_.size() - start;
        std::memcpy(dst, bytes_.data() + start, first);
        std::memcpy(static_cast<uint8_t*>(dst) + first, bytes_.data(), n - first);
    }

    std::vector<uint8_t> bytes_;
    size_t mask_;
    std::atomic<uint64_t> head_{0};
    std::atomic<uint64_t> tail_{0};
};

} // namespace midi
