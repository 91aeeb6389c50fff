#include "platform/mci/video/media_file.h"

#include "platform/fs/file_ops.h"

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

uint32_t le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The end of the first "RIFF AVI " chunk and of the "RIFF AVIX" ones after it
// in a large file; 0 when the file is no AVI.
int64_t riffChainEnd(int fd, int64_t fileSize)
{
    int64_t at = 0;
    for (int chunk = 0; chunk < 4096 && at + 12 <= fileSize; ++chunk) {
        unsigned char head[12];
        if (::pread(fd, head, sizeof head, at) != static_cast<ssize_t>(sizeof head))
            break;
        if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, chunk == 0 ? "AVI " : "AVIX", 4) != 0)
            break;
        const int64_t size = le32(head + 4);
        at = std::min(fileSize, at + 8 + size + (size & 1));
    }
    return at;
}

// Where an AVI ends when only zeros follow its RIFF chunks (the space a
// download in progress has set aside). The demuxer is shown the file up to
// there, so that it never walks through gigabytes of nothing looking for an
// index. The file's size when anything else follows; 0 when it is no AVI.
int64_t aviEnd(int fd, int64_t fileSize)
{
    const int64_t end = riffChainEnd(fd, fileSize);
    if (end == 0 || end >= fileSize)
        return end;
    unsigned char next[4096];
    const ssize_t n = ::pread(fd, next, sizeof next, end);
    for (ssize_t i = 0; i < n; ++i)
        if (next[i] != 0)
            return fileSize;
    return end;
}

// Where the file's data ends when only a hole follows it: space set aside
// for a download, which reads as zeros that the demuxer would walk through.
// The file's size where no hole ends it or the file system cannot tell.
int64_t dataEnd(int fd, int64_t fileSize)
{
    int64_t at = 0;
    for (int extent = 0; extent < 4096 && at < fileSize; ++extent) {
        const off_t data = ::lseek(fd, at, SEEK_DATA);
        if (data < 0)
            return errno == ENXIO ? at : fileSize;
        const off_t hole = ::lseek(fd, data, SEEK_HOLE);
        if (hole < 0)
            return fileSize;
        at = hole;
    }
    return fileSize;
}

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
    format_ = avformat_alloc_context();
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    if (buffer)
        io_ = avio_alloc_context(buffer, kIoBufferSize, 0, this, &MediaFile::readIo, nullptr, &MediaFile::seekIo);
    if (!format_ || !io_) {
        if (!io_)
            av_free(buffer);
        return Result::failure(ErrOutOfMemory, errorText(ErrOutOfMemory));
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

    const int w = st->codecpar->width;
    const int h = st->codecpar->height;
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || static_cast<int64_t>(w) * h > kMaxPixels)
        return Result::failure(ErrUnsupportedFormat, "The video of \"" + name + "\" has no usable picture size.");
    width_ = w;
    height_ = h;
    const AVRational sar = av_guess_sample_aspect_ratio(format_, st, nullptr);
    if (sar.num > 0 && sar.den > 0 && av_q2d(sar) > 0.1 && av_q2d(sar) < 10.0) {
        const int64_t shown = av_rescale(w, sar.num, sar.den);
        if (shown > 0 && shown <= kMaxSide && shown * h <= kMaxPixels)
            width_ = static_cast<int>(shown);
    }

    AVRational rate = st->avg_frame_rate;
    if (!usableRate(rate))
        rate = st->r_frame_rate;
    if (!usableRate(rate))
        rate = av_inv_q(st->time_base);
    if (!usableRate(rate))
        rate = AVRational{25, 1};
    int num = 0;
    int den = 0;
    av_reduce(&num, &den, rate.num, rate.den, 1000000);
    timeline_.rateNum = num;
    timeline_.rateDen = den;
    videoStart_ = st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time;
    return Result::success();
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

void MediaFile::measureLength()
{
    // The headers' frame count, as the Windows video device takes it; a file
    // cut short holds fewer, and playback ends where its data does.
    AVStream* st = format_->streams[videoIndex_];
    if (st->nb_frames > 0)
        frames_ = st->nb_frames;
    else if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
        frames_ = frameIndex(videoStart_ + st->duration);
    else if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0)
        frames_ = timeline_.frameAt(format_->duration);
    // Without any, the frames are counted, within what an open may read.
    if (frames_ <= 0)
        frames_ = countFrames();
}

void MediaFile::measurePictureDelay()
{
    // AVI keeps decoding times only. With B-frames the decoder hands each
    // picture out a frame or more after the packet that starts it, so the
    // time stamps FFmpeg gives are late by that much (by more for packed
    // B-frames) and the last pictures fall past the end. The first picture
    // of the file belongs to its first frame: that measures the delay.
    if (std::strcmp(format_->iformat->name, "avi") != 0 || video_->has_b_frames <= 0)
        return;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int64_t firstPacket = -1;
    int64_t firstPicture = -1;
    for (int n = 0; packet && frame && firstPicture < 0 && n < 64 && av_read_frame(format_, packet) >= 0; ++n) {
        if (packet->stream_index == videoIndex_) {
            const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (firstPacket < 0 && ts != AV_NOPTS_VALUE)
                firstPacket = frameIndex(ts);
            if (avcodec_send_packet(video_, packet) >= 0 && avcodec_receive_frame(video_, frame) >= 0
                && frame->best_effort_timestamp != AV_NOPTS_VALUE)
                firstPicture = frameIndex(frame->best_effort_timestamp);
            av_frame_unref(frame);
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    if (firstPacket >= 0 && firstPicture > firstPacket)
        pictureDelay_ = std::min<int64_t>(firstPicture - firstPacket, 16);
    seekToFrame(0);
    avcodec_flush_buffers(video_);
}

int64_t MediaFile::countFrames()
{
    AVPacket* packet = av_packet_alloc();
    if (!packet)
        return frames_;
    int64_t end = 0;
    while (av_read_frame(format_, packet) >= 0) {
        if (packet->stream_index == videoIndex_) {
            const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (ts != AV_NOPTS_VALUE)
                end = std::max(end, frameIndex(ts) + packetFrames(packet));
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    seekToFrame(0);
    return end;
}

int64_t MediaFile::frameIndex(int64_t pts) const
{
    const AVStream* st = format_->streams[videoIndex_];
    return av_rescale_q_rnd(pts - videoStart_, st->time_base,
                            AVRational{static_cast<int>(timeline_.rateDen), static_cast<int>(timeline_.rateNum)},
                            static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
}

int64_t MediaFile::packetFrames(const AVPacket* packet) const
{
    if (packet->duration <= 0)
        return 1;
    const AVStream* st = format_->streams[videoIndex_];
    const int64_t n = av_rescale_q(packet->duration, st->time_base,
                                   AVRational{static_cast<int>(timeline_.rateDen), static_cast<int>(timeline_.rateNum)});
    return std::max<int64_t>(1, n);
}

int64_t MediaFile::audioSample(int64_t pts) const
{
    const AVRational perSample{1, sampleRate_};
    return av_rescale_q(pts, format_->streams[audioIndex_]->time_base, perSample)
           - av_rescale_q(videoStart_, format_->streams[videoIndex_]->time_base, perSample);
}

bool MediaFile::seekToFrame(int64_t frame)
{
    const AVStream* st = format_->streams[videoIndex_];
    const int64_t ts = videoStart_ + av_rescale_q(frame, AVRational{static_cast<int>(timeline_.rateDen),
                                                                    static_cast<int>(timeline_.rateNum)},
                                                  st->time_base);
    if (av_seek_frame(format_, videoIndex_, ts, AVSEEK_FLAG_BACKWARD) >= 0)
        return true;
    // Without an index entry before the target, start over from the beginning.
    if (av_seek_frame(format_, videoIndex_, videoStart_, AVSEEK_FLAG_BACKWARD) >= 0)
        return true;
    return avformat_seek_file(format_, -1, INT64_MIN, 0, INT64_MAX, 0) >= 0;
}

} // namespace mci::video
