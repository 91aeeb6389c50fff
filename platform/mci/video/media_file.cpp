#include "platform/mci/video/media_file.h"

#include "platform/fs/file_ops.h"
#include "platform/mci/video/file_extent.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <cerrno>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace mci::video {

namespace {

// Larger pictures would make the frame slots alone take hundreds of megabytes.
constexpr int64_t kMaxPixels = 4096LL * 2304;
// A side beyond this is no picture a window can show, however few pixels it has.
constexpr int kMaxSide = 16384;

// An open runs on the window's thread: what it may read and how long it may
// take, whatever the file's size. A real file tells all the open needs in
// its first megabytes, in a few milliseconds; a file that does not is
// refused rather than read. The time leaves the rest of the device's open
// within the 200 ms the window's thread may wait.
constexpr int64_t kOpenReadBudget = 24LL << 20;
constexpr auto kOpenTimeBudget = std::chrono::milliseconds(120);
constexpr int kIoBufferSize = 64 * 1024;

std::string namePart(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

bool usableRate(AVRational r)
{
    return r.num > 0 && r.den > 0 && av_q2d(r) >= 0.01 && av_q2d(r) <= 1000.0;
}

// The first of the headers' rates that is one; 25 frames a second without.
AVRational frameRate(const AVStream* st)
{
    AVRational rate = st->avg_frame_rate;
    if (!usableRate(rate))
        rate = st->r_frame_rate;
    if (!usableRate(rate))
        rate = av_inv_q(st->time_base);
    if (!usableRate(rate))
        rate = AVRational {25, 1};
    return rate;
}

AVCodecContext* openDecoder(const AVStream* stream, int threads, std::string& why)
{
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        why = std::string("no decoder for the format \"") + avcodec_get_name(stream->codecpar->codec_id) + "\"";
        return nullptr;
    }
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (!ctx) {
        why = "out of memory";
        return nullptr;
    }
    int rc = avcodec_parameters_to_context(ctx, stream->codecpar);
    if (rc >= 0) {
        ctx->thread_count = threads;
        ctx->pkt_timebase = stream->time_base;
        rc = avcodec_open2(ctx, codec, nullptr);
    }
    if (rc < 0) {
        why = std::string("the \"") + codec->name + "\" decoder refuses it (" + avError(rc) + ")";
        avcodec_free_context(&ctx);
        return nullptr;
    }
    return ctx;
}

} // namespace

MediaFile::~MediaFile()
{
    avcodec_free_context(&video_);
    avcodec_free_context(&audio_);
    avformat_close_input(&format_);
    if (io_) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
    if (fd_ >= 0)
        ::close(fd_);
}

int MediaFile::interrupt(void* self)
{
    auto* file = static_cast<MediaFile*>(self);
    if (file->abort_.load(std::memory_order_relaxed))
        return 1;
    // Demuxers also work through what they have read without reading more.
    if (file->opening_ && std::chrono::steady_clock::now() > file->openDeadline_) {
        file->openOverrun_ = true;
        return 1;
    }
    return 0;
}

int MediaFile::readIo(void* self, uint8_t* buffer, int size)
{
    auto* file = static_cast<MediaFile*>(self);
    if (file->abort_.load(std::memory_order_relaxed))
        return AVERROR_EXIT;
    if (file->opening_) {
        file->openRead_ += size;
        if (file->openRead_ > kOpenReadBudget || std::chrono::steady_clock::now() > file->openDeadline_) {
            file->openOverrun_ = true;
            return AVERROR_EXIT;
        }
    }
    if (file->ioPos_ >= file->ioSize_)
        return AVERROR_EOF;
    const ssize_t n = ::pread(file->fd_, buffer, static_cast<size_t>(std::min<int64_t>(size, file->ioSize_ - file->ioPos_)),
                              file->ioPos_);
    if (n < 0)
        return AVERROR(errno);
    if (n == 0)
        return AVERROR_EOF;
    file->ioPos_ += n;
    return static_cast<int>(n);
}

int64_t MediaFile::seekIo(void* self, int64_t offset, int whence)
{
    auto* file = static_cast<MediaFile*>(self);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE)
        return file->ioSize_;
    const int64_t base = whence == SEEK_CUR ? file->ioPos_ : whence == SEEK_END ? file->ioSize_ : 0;
    if ((whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) || base + offset < 0)
        return AVERROR(EINVAL);
    file->ioPos_ = base + offset;
    return file->ioPos_;
}

Result MediaFile::open(const std::string& path)
{
    // Damaged files make FFmpeg talk a lot; the player reports nothing on a terminal.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });

    const std::string name = namePart(path);
    struct stat st {};
    fd_ = path.empty() ? -1 : kernel::openRegularFile(path, &st);
    if (fd_ < 0) {
        if (!path.empty() && errno != ENOENT && errno != ENOTDIR && errno != EISDIR)
            return Result::failure(ErrInvalidFile, "\"" + name + "\" is not a video file that can be played ("
                                                       + std::strerror(errno) + ").");
        return Result::failure(ErrFileNotFound, "Cannot find the file \"" + name + "\".");
    }
    const int64_t size = dataEnd(fd_, st.st_size);
    const int64_t end = aviEnd(fd_, size);
    ioSize_ = end > 0 ? end : size;

    opening_ = true;
    openRead_ = 0;
    openDeadline_ = std::chrono::steady_clock::now() + kOpenTimeBudget;
    Result r = openFormat(name, end > 0);
    opening_ = false;
    if (openOverrun_) // whatever FFmpeg made of being stopped
        r = Result::failure(ErrInvalidFile, "\"" + name + "\" cannot be opened: its first megabytes do not "
                                            "tell what it holds.");
    return r;
}

Result MediaFile::openFormat(const std::string& name, bool avi)
{
    if (!allocateFormat())
        return Result::failure(ErrOutOfMemory, errorText(ErrOutOfMemory));
    const AVInputFormat* hint = avi ? av_find_input_format("avi") : nullptr;
    int rc = avformat_open_input(&format_, nullptr, hint, nullptr);
    if (rc < 0) // frees format_
        return Result::failure(ErrInvalidFile, "\"" + name + "\" is not a video file that can be played ("
                                                   + avError(rc) + ").");
    rc = avformat_find_stream_info(format_, nullptr);
    if (rc < 0)
        return Result::failure(ErrInvalidFile, "\"" + name + "\" is not a video file that can be played ("
                                                   + avError(rc) + ").");
    Result r = openVideo(name);
    if (!r.ok())
        return r;
    openAudio();
    for (unsigned i = 0; i < format_->nb_streams; ++i)
        if (static_cast<int>(i) != videoIndex_ && static_cast<int>(i) != audioIndex_)
            format_->streams[i]->discard = AVDISCARD_ALL;
    measureLength();
    measurePictureDelay();
    return Result::success();
}

bool MediaFile::allocateFormat()
{
    format_ = avformat_alloc_context();
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    if (buffer)
        io_ = avio_alloc_context(buffer, kIoBufferSize, 0, this, &MediaFile::readIo, nullptr, &MediaFile::seekIo);
    if (!format_ || !io_) {
        if (!io_)
            av_free(buffer);
        return false;
    }
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    format_->interrupt_callback.callback = &MediaFile::interrupt;
    format_->interrupt_callback.opaque = this;
    // A packet cut short by the end of a truncated file is not a frame.
    format_->flags |= AVFMT_FLAG_DISCARD_CORRUPT;
    // The rate comes from the headers; waiting for twenty frames to measure
    // it would read through whatever follows a file cut short.
    format_->fps_probe_size = 0;
    format_->probesize = 4 << 20;
    format_->max_analyze_duration = AV_TIME_BASE;
    return true;
}

Result MediaFile::openVideo(const std::string& name)
{
    videoIndex_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (videoIndex_ >= 0 && (format_->streams[videoIndex_]->disposition & AV_DISPOSITION_ATTACHED_PIC))
        videoIndex_ = -1;
    if (videoIndex_ < 0)
        return Result::failure(ErrInvalidFile, "\"" + name + "\" has no video stream.");
    AVStream* st = format_->streams[videoIndex_];
    std::string why;
    video_ = openDecoder(st, 0, why);
    if (!video_)
        return Result::failure(ErrUnsupportedFormat, "The video of \"" + name + "\" cannot be played: " + why + ".");
    if (!takePictureSize(st))
        return Result::failure(ErrUnsupportedFormat, "The video of \"" + name + "\" has no usable picture size.");

    const AVRational rate = frameRate(st);
    int num = 0;
    int den = 0;
    av_reduce(&num, &den, rate.num, rate.den, 1000000);
    timeline_.rateNum = num;
    timeline_.rateDen = den;
    videoStart_ = st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time;
    return Result::success();
}

bool MediaFile::takePictureSize(AVStream* st)
{
    const int w = st->codecpar->width;
    const int h = st->codecpar->height;
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || static_cast<int64_t>(w) * h > kMaxPixels)
        return false;
    width_ = w;
    height_ = h;
    const AVRational sar = av_guess_sample_aspect_ratio(format_, st, nullptr);
    if (sar.num > 0 && sar.den > 0 && av_q2d(sar) > 0.1 && av_q2d(sar) < 10.0) {
        const int64_t shown = av_rescale(w, sar.num, sar.den);
        if (shown > 0 && shown <= kMaxSide && shown * h <= kMaxPixels)
            width_ = static_cast<int>(shown);
    }
    return true;
}

void MediaFile::openAudio()
{
    audioIndex_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, videoIndex_, nullptr, 0);
    if (audioIndex_ < 0) {
        audioIndex_ = -1;
        return;
    }
    std::string why;
    audio_ = openDecoder(format_->streams[audioIndex_], 1, why);
    if (audio_ && (audio_->sample_rate < 1000 || audio_->sample_rate > 384000 || audio_->ch_layout.nb_channels < 1)) {
        why = "its sample rate or channels are unusable";
        avcodec_free_context(&audio_);
    }
    if (!audio_) {
        soundProblem_ = "The sound cannot be played: " + why + ".";
        audioIndex_ = -1;
        return;
    }
    sampleRate_ = audio_->sample_rate;
    channels_ = audio_->ch_layout.nb_channels >= 2 ? 2 : 1;
}

} // namespace mci::video
