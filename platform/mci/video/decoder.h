#pragma once
// The decoding thread: reads the file, turns packets into pictures in the
// frame slots and sound in the audio ring, and carries out seeks.
#include "platform/mci/video/clock.h"
#include "platform/mci/video/media_file.h"
#include "platform/mci/video/session.h"

#include <cstdint>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
}

struct AVFrame;
struct AVPacket;
struct SwrContext;

namespace mci::video {

class Decoder {
public:
    // AUDIO null: the sound is not played.
    Decoder(MediaFile& file, Session& session, AudioClock* audio);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    void start();
    // The session's quit must be set first.
    void join();

private:
    void run();
    void beginSeek(int64_t us, uint64_t epoch);
    bool readPacket();
    void endOfData();
    // Hands what CTX still holds to TAKE.
    void drain(AVCodecContext* ctx, void (Decoder::*take)(AVFrame*));
    // Shows the picture at the seek target, where the data ended before it.
    void finishPreroll();
    void markEnd();
    // Moves the file to FRAME and forgets what the decoders and the sound held.
    void seekFileTo(int64_t frame);
    void restartFromBeginning();
    void stepBack();
    // Sends PACKET to CTX and hands every frame it gives back to TAKE.
    void decode(AVCodecContext* ctx, const AVPacket* packet, void (Decoder::*take)(AVFrame*));
    void takeVideoFrame(AVFrame* frame);
    void takeAudioFrame(AVFrame* frame);
    bool deliver(const AVFrame* frame, int64_t index, bool preroll);
    // A free frame slot, waited for; -1 when the work in hand went stale.
    int takeSlot();
    // Puts FRAME's picture into F; false when it cannot be kept.
    bool keepPicture(Frame& f, const AVFrame* frame);
    void markPrerolled();
    bool prepareResampler(const AVFrame* frame);
    void writeSound(const float* data, int64_t frames, int64_t at);
    bool pushSound(const float* data, int64_t frames);
    // A newer seek or a close has made the work in hand useless.
    bool stale() const;

    MediaFile& file_;
    Session& s_;
    AudioClock* audio_;
    std::thread thread_;

    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVFrame* held_ = nullptr; // the latest picture before the seek target
    SwrContext* swr_ = nullptr;
    AVChannelLayout swrLayout_{};
    int swrFormat_ = -1;
    int swrRate_ = 0;
    std::vector<float> sound_;

    uint64_t epoch_ = 0;
    int64_t seekUs_ = 0;
    int64_t length_;
    bool atEnd_ = false;
    bool prerolling_ = false;
    int64_t target_ = 0;     // the frame a seek shows
    int64_t heldIndex_ = -1;
    int64_t lastIndex_ = -1; // the last frame queued
    int64_t lastSeen_ = -1;
    int64_t dataEnd_ = -1;   // one past the last frame whose packet was read
    int64_t landedAt_ = -1;  // the frame of the first packet read after a seek
    int stepsBack_ = 0;
    bool fromStart_ = false; // reading began at the start of the data
    bool soundStarted_ = false;
    int readErrors_ = 0;
};

} // namespace mci::video
