#pragma once
// Watches what the sound card plays for the first buffer that carries sound.
#include "platform/audio/audio_output.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace bench_support {

using Clock = std::chrono::steady_clock;

// Watches the card for the first buffer with sound in it after arming.
struct FirstSound {
    std::atomic<bool> armed{false};
    bool heard = false; // under mutex
    std::mutex mutex;
    std::condition_variable heardChanged;
    std::atomic<int64_t> at{0};
    std::atomic<int> silentCallbacks{0}; // callbacks after arming that came before the sound

    FirstSound()
    {
        audio::setTap([this](const float* out, int frames) {
            if (!armed.load(std::memory_order_acquire))
                return;
            for (int i = 0; i < frames * 2; ++i) {
                if (out[i] != 0.0f) {
                    at.store(Clock::now().time_since_epoch().count());
                    armed.store(false);
                    {
                        std::lock_guard lock(mutex);
                        heard = true;
                    }
                    heardChanged.notify_all();
                    return;
                }
            }
            silentCallbacks.fetch_add(1);
        });
    }
    ~FirstSound() { audio::setTap({}); }
    FirstSound(const FirstSound&) = delete;
    FirstSound& operator=(const FirstSound&) = delete;

    // Seconds from calling START to the first buffer with sound; negative
    // when none came within TIMEOUT.
    template <class Start>
    double measure(Start start, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        {
            std::lock_guard lock(mutex);
            heard = false;
        }
        armed = true;
        const auto t0 = Clock::now();
        start();
        std::unique_lock lock(mutex);
        if (!heardChanged.wait_until(lock, t0 + timeout, [this] { return heard; })) {
            armed = false;
            return -1;
        }
        return std::chrono::duration<double>(Clock::duration(at.load()) - t0.time_since_epoch()).count();
    }
};

} // namespace bench_support
