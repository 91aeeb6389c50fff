#pragma once
// The AVI video device: FFmpeg decodes, the picture shows in the device's own
// window at the size chosen when the file is opened (original, double or the
// whole screen), the sound goes to the audio output and the picture follows it.
#include "platform/mci/mci.h"
#include "platform/mci/video/clock.h"
#include "platform/mci/video/video_window.h"

#include <QImage>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;
class QWidget;

namespace mci {

std::unique_ptr<Device> makeVideoDevice(const multimedia::Choices& choices = {});

namespace video {

class Decoder;
class MediaFile;
class Presenter;
struct Session;

// What the device takes from the machine; tests put in their own parts.
struct Environment {
    OpenAudioFn openAudio = &audio::Output::open;
    // The clock of a file played without sound; null: the monotonic clock.
    std::function<std::unique_ptr<Clock>()> makeSilentClock;
};

struct Statistics {
    uint64_t framesPresented = 0; // handed to the window
    uint64_t framesShown = 0;     // taken by the window
    uint64_t framesDropped = 0;   // never reached the window: late or overtaken
    // Made ready for painting: late frames never are, except 24-bit ones,
    // which are made ready as they are decoded.
    uint64_t framesConverted = 0;
    int64_t firstFrameUs = -1;  // from the last play to its first picture painted
};

class VideoDevice final : public Device {
public:
    // CHOICES give the size of the picture and the sound output.
    explicit VideoDevice(Environment env = {}, multimedia::Choices choices = {});
    ~VideoDevice() override;

    Result open(const std::string& path) override;
    void close() override;

    Result play() override;
    Result pause() override;
    Result resume() override;
    Result stop() override;
    Result seek(uint32_t position) override;
    Result seekToStart() override;
    Result seekToEnd() override;

    Result setTimeFormat(TimeFormat format) override;
    Result length(uint32_t& out) override;
    Result position(uint32_t& out) override;
    Mode mode() override;

    void setEndNotify(std::function<void()> notify) override;

    // Null while closed.
    QWidget* window() const;
    // A copy of the picture on screen; null before the first one.
    QImage currentFrame() const;
    // Why the file's sound is not heard; empty when it is or there is none.
    const std::string& soundProblem() const { return soundProblem_; }
    Statistics statistics() const;

private:
    // The steps of an open, in order. The sound card's clock when the file's
    // sound can be heard, the monotonic one otherwise.
    std::unique_ptr<Clock> openClock(const MediaFile& file, const std::string& path, AudioClock*& audioClock);
    void beginSession();
    void openWindow(const std::string& path);
    Result startThreads();

    Result seekToUs(int64_t us);
    void takeFrame();
    void framePainted();
    void userClosedWindow();
    Result notOpen() const;

    Environment env_;
    multimedia::Choices choices_;
    TimeFormat format_ = TimeFormat::Frames;
    std::function<void()> endNotify_;
    std::string soundProblem_;

    std::unique_ptr<MediaFile> file_;
    std::unique_ptr<Clock> clock_;
    AudioClock* audioClock_ = nullptr; // clock_ when the sound plays
    std::unique_ptr<Session> session_;
    std::unique_ptr<Decoder> decoder_;
    std::unique_ptr<Presenter> presenter_;
    std::unique_ptr<VideoWindow, VideoWindow::Disposer> window_;
    std::unique_ptr<QSocketNotifier> notifier_;
    int wakeFd_ = -1;

    uint64_t framesShown_ = 0;
    int64_t playAtNs_ = -1; // when the last play began, until its first picture
    int64_t firstFrameUs_ = -1;
};

} // namespace video
} // namespace mci
