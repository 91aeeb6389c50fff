#pragma once
// One video file opened with FFmpeg: its streams, decoders and time grid.
#include "platform/mci/mci.h"
#include "platform/mci/video/timeline.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

struct AVCodecContext;
struct AVFormatContext;
struct AVIOContext;
struct AVPacket;
struct AVStream;

namespace mci::video {

class MediaFile {
public:
    MediaFile() = default;
    ~MediaFile();
    MediaFile(const MediaFile&) = delete;
    MediaFile& operator=(const MediaFile&) = delete;

    Result open(const std::string& path);
    // Makes a read in progress on another thread give up.
    void abort() { abort_ = true; }

    AVFormatContext* format() const { return format_; }
    AVCodecContext* video() const { return video_; }
    AVCodecContext* audio() const { return audio_; } // null: no sound is played
    int videoIndex() const { return videoIndex_; }
    int audioIndex() const { return audioIndex_; }

    const Timeline& timeline() const { return timeline_; }
    int64_t frames() const { return frames_; }
    // The picture as shown, with the pixel aspect applied.
    int width() const { return width_; }
    int height() const { return height_; }

    // Why a sound track is not played; empty when it is or when there is none.
    const std::string& soundProblem() const { return soundProblem_; }
    int sampleRate() const { return sampleRate_; }
    int channels() const { return channels_; }

    // A video packet's time stamp as a frame number.
    int64_t frameIndex(int64_t pts) const;
    // A decoded picture's time stamp as the number of the frame it belongs to.
    int64_t pictureIndex(int64_t pts) const { return frameIndex(pts) - pictureDelay_; }
    // An audio time stamp as a sample number on the picture's time line.
    int64_t audioSample(int64_t pts) const;
    // Frames a video packet covers (at least one).
    int64_t packetFrames(const AVPacket* packet) const;

    // Positions the reading at the last key frame at or before FRAME.
    bool seekToFrame(int64_t frame);

private:
    Result openFormat(const std::string& name, bool avi);
    // The demuxer's context, reading through our descriptor; false: no memory.
    bool allocateFormat();
    Result openVideo(const std::string& name);
    // False when ST's picture is too large or has no size.
    bool takePictureSize(AVStream* st);
    void openAudio();
    void measureLength();
    void measurePictureDelay();
    int64_t countFrames();
    static int interrupt(void* self);
    static int readIo(void* self, uint8_t* buffer, int size);
    static int64_t seekIo(void* self, int64_t offset, int whence);

    std::atomic<bool> abort_{false};
    // The file as the demuxer sees it: our descriptor, up to IO_SIZE_.
    int fd_ = -1;
    AVIOContext* io_ = nullptr;
    int64_t ioSize_ = 0;
    int64_t ioPos_ = 0;
    // While opening: what has been read, and until when.
    bool opening_ = false;
    bool openOverrun_ = false;
    int64_t openRead_ = 0;
    std::chrono::steady_clock::time_point openDeadline_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* video_ = nullptr;
    AVCodecContext* audio_ = nullptr;
    int videoIndex_ = -1;
    int audioIndex_ = -1;
    Timeline timeline_;
    int64_t videoStart_ = 0;
    int64_t frames_ = 0;
    int64_t pictureDelay_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::string soundProblem_;
    int sampleRate_ = 0;
    int channels_ = 0;
};

} // namespace mci::video
