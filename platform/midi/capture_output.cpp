#include "platform/midi/capture_output.h"

namespace midi {

void CaptureOutput::send(std::span<const uint8_t> message, TimePoint due)
{
    const TimePoint sent = Clock::now();
    {
        std::lock_guard lock(mutex_);
        messages_.push_back({{message.begin(), message.end()}, due, sent});
    }
    arrived_.notify_all();
}

std::vector<CapturedMessage> CaptureOutput::messages() const
{
    std::lock_guard lock(mutex_);
    return messages_;
}

size_t CaptureOutput::count() const
{
    std::lock_guard lock(mutex_);
    return messages_.size();
}

void CaptureOutput::clear()
{
    std::lock_guard lock(mutex_);
    messages_.clear();
}

bool CaptureOutput::waitForCount(size_t n, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return messages_.size() >= n; });
}

} // namespace midi
