#pragma once
// A wave file opened for decoding: the RIFF check, libsndfile underneath, the
// exact length, and seeking that also works for codecs libsndfile cannot seek.
#include "platform/mci/mci.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct sf_private_tag;
struct SF_INFO;

namespace mci::wave {

class WaveFile {
public:
    // Opens PATH (any bytes) for reading. Refuses what is not a RIFF WAVE file
    // or not something the device can play, with the reason in the result.
    static Result open(const std::string& path, std::unique_ptr<WaveFile>& out);
    ~WaveFile();
    WaveFile(const WaveFile&) = delete;
    WaveFile& operator=(const WaveFile&) = delete;

    int sampleRate() const { return rate_; }
    int channels() const { return channels_; }
    // Frames per channel as far as the file tells; the real data may end sooner.
    int64_t frames() const { return frames_; }

    // Reads up to FRAMES interleaved frames at the current place and returns how
    // many it got: fewer only where the data ends or cannot be read.
    int64_t read(float* out, int64_t frames);
    // Moves to FRAME and returns the frame it reached: less than FRAME when the
    // data ends before, or when CANCELLED said so during a slow seek.
    int64_t seek(int64_t frame, const std::function<bool()>& cancelled = {});

private:
    WaveFile() = default;
    bool openSndfile(SF_INFO* info = nullptr);
    void closeSndfile();
    bool rewind();

    // The file as the wave reader sees it: every "LIST" outside the sound data
    // reads as "JUNK", a chunk it skips. The reader's parser of LIST chunks
    // can spin for minutes on a damaged one, and the player needs none of
    // the names and comments they hold.
    static int64_t viewLength(void* self);
    static int64_t viewSeek(int64_t offset, int whence, void* self);
    static int64_t viewRead(void* buffer, int64_t count, void* self);
    static int64_t viewTell(void* self);
    void findLists();

    int fd_ = -1;
    int64_t size_ = 0;
    int64_t viewPos_ = 0;
    std::vector<int64_t> lists_; // where a "LIST" id stands
    sf_private_tag* sf_ = nullptr;
    int rate_ = 0;
    int channels_ = 0;
    int64_t frames_ = 0;
    int64_t pos_ = 0;
    bool floatData_ = false;
};

} // namespace mci::wave
