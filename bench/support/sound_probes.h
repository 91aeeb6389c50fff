#pragma once
// What the benchmarks of the synthesizer's response share: the song from
// bytes, a busy machine, the loudest sample of each buffer played, and
// when a message was taken.
#include "platform/audio/audio_output.h"
#include "platform/midi/player.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace bench_support {

using Clock = midi::Clock;
using namespace std::chrono_literals;

inline std::shared_ptr<const midi::Song> parse(const std::string& bytes)
{
    auto song = std::make_shared<midi::Song>();
    std::string error;
    midi::parseSong({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, *song, error);
    return song;
}

inline double msSince(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Two threads that never sleep keep both cores busy, as a build would.
class Load {
public:
    explicit Load(bool busy) : busy_(busy)
    {
        for (int i = 0; busy && i < 2; ++i)
            hogs_.emplace_back([this] {
                while (busy_.load(std::memory_order_relaxed))
                    benchmark::DoNotOptimize(busy_);
            });
    }
    ~Load()
    {
        busy_ = false;
        for (std::thread& t : hogs_)
            t.join();
    }

private:
    std::atomic<bool> busy_;
    std::vector<std::thread> hogs_;
};

// The loudest sample of every buffer the card plays, with when it was played.
class Peaks {
public:
    Peaks()
    {
        audio::setTap([this](const float* frames, int count) {
            float peak = 0;
            for (int i = 0; i < 2 * count; ++i)
                peak = std::max(peak, std::abs(frames[i]));
            const size_t n = count_.load(std::memory_order_relaxed);
            buffers_[n % buffers_.size()] = {Clock::now(), peak};
            count_.store(n + 1, std::memory_order_release);
        });
    }
    ~Peaks() { audio::setTap({}); }

    // When the sound first fell below half of what it was over the 200 ms
    // before AT; negative when it did not.
    double fallAfter(Clock::time_point at) const
    {
        const size_t n = count_.load(std::memory_order_acquire);
        float before = 0;
        for (size_t i = n > buffers_.size() ? n - buffers_.size() : 0; i < n; ++i) {
            const Buffer& b = buffers_[i % buffers_.size()];
            if (b.played <= at && b.played > at - 200ms)
                before = std::max(before, b.peak);
            else if (b.played > at && before > 0 && b.peak < before / 2)
                return msSince(at, b.played);
        }
        return -1;
    }

private:
    struct Buffer {
        Clock::time_point played;
        float peak = 0;
    };
    std::array<Buffer, 1024> buffers_ {};
    std::atomic<size_t> count_ {0};
};

// Passes every message on, noting when the first one after watch() was
// taken.
class FirstTaken final : public midi::Output {
public:
    explicit FirstTaken(std::shared_ptr<midi::Output> output) : output_(std::move(output)) { }
    void send(std::span<const uint8_t> message, midi::TimePoint due) override
    {
        output_->send(message, due);
        if (watching_.load() && taken_.load() == Clock::time_point {})
            taken_.store(Clock::now());
    }
    midi::TimePoint readyAt() const override { return output_->readyAt(); }
    void prepare(const midi::Song& song) override { output_->prepare(song); }
    // From now on the next message taken is noted.
    void watch() { watching_.store(true); }
    Clock::time_point taken() const { return taken_.load(); }

private:
    std::shared_ptr<midi::Output> output_;
    std::atomic<bool> watching_ {false};
    std::atomic<Clock::time_point> taken_ {};
};

// Each change is measured on an idle machine and with both cores busy
// (the argument "busy", for Load).
inline void idleAndBusy(benchmark::internal::Benchmark* b)
{
    b->Arg(0)->Arg(1)->ArgName("busy")->UseManualTime()->Unit(benchmark::kMillisecond);
}

} // namespace bench_support
