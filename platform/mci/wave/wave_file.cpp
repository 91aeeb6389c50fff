#include "platform/mci/wave/wave_file.h"

#include "platform/mci/wave/riff_probe.h"

#include "platform/fs/file_ops.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace mci::wave {

namespace {

// What SDL converts without surprises; a header with 200 channels or a rate
// of 3 Hz is damage, not audio.
constexpr int kMaxChannels = 8;
constexpr int kMinRate = 1000;
constexpr int kMaxRate = 768000;

Result refuse(uint32_t code, const std::string& text)
{
    return Result::failure(code, text);
}

bool isWaveContainer(int format)
{
    const int major = format & SF_FORMAT_TYPEMASK;
    return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64;
}

// Codecs whose samples map one to one onto the data: their frame count is exact.
// The block codecs (ADPCM, GSM) are counted in whole blocks by libsndfile.
bool isSampleExact(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8: case SF_FORMAT_PCM_U8: case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24: case SF_FORMAT_PCM_32: case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE: case SF_FORMAT_ULAW: case SF_FORMAT_ALAW:
        return true;
    default:
        return false;
    }
}

bool isFloat(int format)
{
    const int sub = format & SF_FORMAT_SUBMASK;
    return sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE;
}

// Why the file at PATH did not open, from the open's ERR.
Result refuseUnopened(const std::string& path, int err)
{
    if (err == ENOENT || err == ENOTDIR || err == ENAMETOOLONG)
        return refuse(ErrFileNotFound, "Cannot find the file \"" + path + "\".");
    if (err == EINVAL || err == EISDIR)
        return refuse(ErrInvalidFile, "\"" + path + "\" is not a file.");
    return refuse(ErrFileRead, "Cannot open the file \"" + path + "\": " + std::strerror(err) + ".");
}

RiffProbe probeFile(int fd, int64_t fileSize)
{
    return probeRiff(
        [fd](uint64_t offset, void* buffer, size_t size) -> size_t {
            const ssize_t n = pread(fd, buffer, size, off_t(offset));
            return n < 0 ? 0 : size_t(n);
        },
        uint64_t(fileSize));
}

// What libsndfile found, refused where the device cannot play it.
Result checkFormat(const SF_INFO& info)
{
    if (!isWaveContainer(info.format))
        return refuse(ErrInvalidFile, "The file is not a wave audio file.");
    if (info.channels < 1 || info.channels > kMaxChannels)
        return refuse(ErrUnsupportedFormat,
            "The wave file has " + std::to_string(info.channels) + " channels; at most 8 can be played.");
    if (info.samplerate < kMinRate || info.samplerate > kMaxRate)
        return refuse(ErrUnsupportedFormat,
            "The wave file's sample rate of " + std::to_string(info.samplerate) + " Hz cannot be played.");
    return Result::success();
}

} // namespace

Result WaveFile::open(const std::string& path, std::unique_ptr<WaveFile>& out)
{
    out.reset();
    if (path.empty())
        return refuse(ErrFileNotFound, "No file name was given.");
    std::unique_ptr<WaveFile> file(new WaveFile);
    struct stat st {};
    file->fd_ = kernel::openRegularFile(path, &st);
    if (file->fd_ < 0)
        return refuseUnopened(path, errno);
    if (st.st_size == 0)
        return refuse(ErrInvalidFile, "The file \"" + path + "\" is empty.");
    const RiffProbe probe = probeFile(file->fd_, int64_t(st.st_size));
    if (!probe.isWave)
        return refuse(ErrInvalidFile, "The file is not a wave audio file (it has no RIFF WAVE header).");

    file->size_ = int64_t(st.st_size);
    file->findLists();
    SF_INFO info{};
    if (!file->openSndfile(&info))
        return refuse(ErrInvalidFile, std::string("The wave file cannot be read: ") + sf_strerror(nullptr));
    if (Result r = checkFormat(info); !r.ok())
        return r;

    file->rate_ = info.samplerate;
    file->channels_ = info.channels;
    file->frames_ = std::max<int64_t>(info.frames, 0);
    file->floatData_ = isFloat(info.format);
    if (!isSampleExact(info.format) && probe.factFrames && int64_t(*probe.factFrames) < file->frames_)
        file->frames_ = int64_t(*probe.factFrames);
    out = std::move(file);
    return Result::success();
}

WaveFile::~WaveFile()
{
    closeSndfile();
    if (fd_ >= 0)
        ::close(fd_);
}

void WaveFile::findLists()
{
    // Header chunks stand in the first megabytes before and after the sound;
    // a "LIST" inside the samples is sound and stays as it is.
    constexpr int64_t kLook = 16 << 20;
    std::vector<char> block(1 << 16);
    for (int64_t at = 0; at < std::min(size_, kLook);) {
        const ssize_t n = pread(fd_, block.data(), block.size(), at);
        if (n < 4)
            break;
        for (ssize_t i = 0; i + 4 <= n; ++i) {
            if (std::memcmp(block.data() + i, "LIST", 4) == 0)
                lists_.push_back(at + i);
        }
        at += n - 3;
    }
}

int64_t WaveFile::viewLength(void* self) { return static_cast<WaveFile*>(self)->size_; }

int64_t WaveFile::viewSeek(int64_t offset, int whence, void* self)
{
    auto* f = static_cast<WaveFile*>(self);
    const int64_t base = whence == SEEK_CUR ? f->viewPos_ : whence == SEEK_END ? f->size_ : 0;
    if (base + offset < 0)
        return -1;
    f->viewPos_ = base + offset;
    return f->viewPos_;
}

int64_t WaveFile::viewRead(void* buffer, int64_t count, void* self)
{
    auto* f = static_cast<WaveFile*>(self);
    const ssize_t n = pread(f->fd_, buffer, size_t(count), f->viewPos_);
    if (n <= 0)
        return 0;
    static const char junk[] = "JUNK";
    for (const int64_t at : f->lists_) {
        for (int k = 0; k < 4; ++k) {
            const int64_t i = at + k - f->viewPos_;
            if (i >= 0 && i < n)
                static_cast<char*>(buffer)[i] = junk[k];
        }
    }
    f->viewPos_ += n;
    return n;
}

int64_t WaveFile::viewTell(void* self) { return static_cast<WaveFile*>(self)->viewPos_; }

bool WaveFile::openSndfile(SF_INFO* infoOut)
{
    SF_VIRTUAL_IO io{};
    io.get_filelen = viewLength;
    io.seek = viewSeek;
    io.read = viewRead;
    io.write = [](const void*, sf_count_t, void*) -> sf_count_t { return 0; };
    io.tell = viewTell;
    viewPos_ = 0;
    SF_INFO info{};
    sf_ = sf_open_virtual(&io, SFM_READ, infoOut ? infoOut : &info, this);
    pos_ = 0;
    return sf_ != nullptr;
}

void WaveFile::closeSndfile()
{
    if (sf_)
        sf_close(sf_);
    sf_ = nullptr;
}

int64_t WaveFile::read(float* out, int64_t frames)
{
    frames = std::min(frames, frames_ - pos_);
    if (!sf_ || frames <= 0)
        return 0;
    // Always as floats: float files read as shorts come out silent.
    const int64_t got = std::max<sf_count_t>(sf_readf_float(sf_, out, frames), 0);
    if (floatData_) {
        // A float file may hold anything, NaN and infinities included; the
        // audio path must only ever see samples in range.
        for (int64_t i = 0; i < got * channels_; ++i) {
            const float v = out[i];
            out[i] = std::isfinite(v) ? std::clamp(v, -1.0f, 1.0f) : 0.0f;
        }
    }
    pos_ += got;
    return got;
}

bool WaveFile::rewind()
{
    if (sf_ && sf_seek(sf_, 0, SEEK_SET) == 0) {
        pos_ = 0;
        return true;
    }
    // Some codecs (GSM 6.10) cannot seek at all, not even to the start.
    closeSndfile();
    return openSndfile();
}

int64_t WaveFile::seek(int64_t frame, const std::function<bool()>& cancelled)
{
    frame = std::clamp<int64_t>(frame, 0, frames_);
    if (!sf_ && !rewind())
        return 0;
    if (frame == pos_)
        return pos_;
    if (sf_seek(sf_, frame, SEEK_SET) == frame) {
        pos_ = frame;
        return pos_;
    }
    // No seeking in this codec (or not that far): decode from the start, or
    // from here when the failed seek left the place known, up to the target.
    if ((frame < pos_ || sf_seek(sf_, 0, SEEK_CUR) != pos_) && !rewind())
        return 0;
    std::vector<float> scratch(size_t(4096) * size_t(channels_));
    while (pos_ < frame) {
        if (cancelled && cancelled())
            break;
        if (read(scratch.data(), std::min<int64_t>(4096, frame - pos_)) <= 0)
            break;
    }
    return pos_;
}

} // namespace mci::wave
