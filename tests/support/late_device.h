#pragma once
// A device that takes its file at once and reads it later, as the sequencer
// does with a big song: NotReady and 0 ms long until readAs() says how the
// reading went.
#include "platform/mci/mci.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

struct LateDevice final : mci::Device {
    mci::Result open(const std::string&) override { return mci::Result::success(); }
    void close() override { }
    mci::Result play() override { return playing = true, paused = false, mci::Result::success(); }
    mci::Result pause() override { return paused = playing, mci::Result::success(); }
    mci::Result resume() override { return mci::Result::success(); }
    mci::Result stop() override { return playing = false, mci::Result::success(); }
    mci::Result seek(uint32_t to) override { return seeks.push_back(to), mci::Result::success(); }
    mci::Result seekToStart() override { return mci::Result::success(); }
    mci::Result seekToEnd() override { return mci::Result::success(); }
    mci::Result setTimeFormat(mci::TimeFormat) override { return mci::Result::success(); }
    mci::Result length(uint32_t& out) override { return out = ready ? 5000 : 0, mci::Result::success(); }
    mci::Result position(uint32_t& out) override { return out = 0, mci::Result::success(); }
    mci::Mode mode() override
    {
        return !ready ? mci::Mode::NotReady
            : paused  ? mci::Mode::Paused
            : playing ? mci::Mode::Playing
                      : mci::Mode::Stopped;
    }
    void setEndNotify(std::function<void()>) override { }
    void setReadyNotify(std::function<void(const mci::Result&)> notify) override { readyNotify = std::move(notify); }
    void readAs(const mci::Result& outcome)
    {
        ready = outcome.ok();
        if (readyNotify)
            readyNotify(outcome);
    }

    bool ready = false;
    bool playing = false;
    bool paused = false;
    std::vector<uint32_t> seeks;
    std::function<void(const mci::Result&)> readyNotify;
};

// While one lives, every sequencer that opens is a LateDevice, the last of
// them LATE; the driver that was there before comes back with its end.
struct LateSequencers {
    LateSequencers()
        : saved(mci::setFactory(mci::DeviceType::Sequencer, [this](const multimedia::Choices&) {
              auto device = std::make_unique<LateDevice>();
              late = device.get();
              return device;
          }))
    {
    }
    ~LateSequencers() { mci::setFactory(mci::DeviceType::Sequencer, saved); }
    LateSequencers(const LateSequencers&) = delete;
    LateSequencers& operator=(const LateSequencers&) = delete;

    LateDevice* late = nullptr;
    mci::Factory saved;
};

} // namespace testing_support
