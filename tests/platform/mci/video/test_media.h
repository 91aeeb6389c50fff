#pragma once
// Helpers for the video device's tests: files made by the ffmpeg command, a
// clock the test steps, and waiting with the event loop running.
#include "platform/mci/video/clock.h"
#include "platform/mci/video/video_device.h"

#include <QImage>
#include <QStringList>

#include <functional>
#include <mutex>
#include <string>

namespace video_test {

bool haveFfmpeg();
// Runs ffmpeg with ARGS and writes OUT; false when it fails.
bool ffmpeg(const QStringList& args, const std::string& out);

// The frame number a counter picture shows: eight 16-pixel stripes, bit 0 on
// the left, white for 1. -1 for no picture.
int frameNumber(const QImage& image);
// ffmpeg input arguments for such a counter picture at RATE.
QStringList counterSource(const QString& rate);

// Processes events until PRED holds; false after TIMEOUT_MS.
bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 10000);

class ManualClock final : public mci::video::Clock {
public:
    int64_t nowUs() const override;
    void setRunning(bool running) override;
    void setUs(int64_t us) override;
    void setWake(std::function<void()> wake) override;

    bool running() const;
    // Moves the time on by US when the clock runs.
    void advance(int64_t us);

private:
    mutable std::mutex mutex_;
    int64_t us_ = 0;
    bool running_ = false;
    std::function<void()> wake_;
};

// A device without sound output whose time the test steps.
struct SteppedDevice {
    explicit SteppedDevice(const multimedia::Choices& choices = {});
    mci::video::VideoDevice device;
    ManualClock* clock = nullptr; // owned by the device while open

    // Steps the clock by STEP_US until the end is reached; false if it never is.
    bool playToEnd(int64_t stepUs = 40000);
};

} // namespace video_test
