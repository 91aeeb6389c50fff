#include "fuzz/exercises.h"

#include "platform/mci/wave/riff_probe.h"
#include "platform/mci/wave/wave_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <unistd.h>
#include <vector>

namespace fuzzing {

namespace {

// Reads at most a few thousand frames: a header may claim hours.
std::string readSome(mci::wave::WaveFile& file, int64_t frames)
{
    std::vector<float> buffer(static_cast<size_t>(1024 * file.channels()));
    for (int64_t done = 0; done < frames;) {
        const int64_t got = file.read(buffer.data(), 1024);
        if (got < 0 || got > 1024)
            return "a read gave " + std::to_string(got) + " frames for 1024";
        if (got == 0)
            break;
        for (int64_t i = 0; i < got * file.channels(); ++i)
            if (!std::isfinite(buffer[static_cast<size_t>(i)]) || std::fabs(buffer[static_cast<size_t>(i)]) > 1.0001f)
                return "a sample out of range: " + std::to_string(buffer[static_cast<size_t>(i)]);
        done += got;
    }
    return {};
}

} // namespace

std::string exerciseWave(const uint8_t* data, size_t size)
{
    const auto probe = mci::wave::probeRiff(
        [&](uint64_t offset, void* out, size_t n) -> size_t {
            if (offset >= size)
                return 0;
            n = std::min<size_t>(n, size - offset);
            std::memcpy(out, data + offset, n);
            return n;
        },
        size);
    int fd = -1;
    const std::string path = memoryFile(data, size, fd);
    std::string problem;
    std::unique_ptr<mci::wave::WaveFile> file;
    if (!path.empty() && mci::wave::WaveFile::open(path, file).ok()) {
        if (!probe.isWave)
            problem = "a file the probe refuses was opened";
        else if (file->channels() < 1 || file->channels() > 8 || file->sampleRate() < 1000 || file->frames() < 0)
            problem = "an unplayable format was opened";
        if (problem.empty())
            problem = readSome(*file, 4096);
        if (problem.empty() && file->seek(file->frames() / 2) > file->frames())
            problem = "a seek went past the end";
        if (problem.empty())
            problem = readSome(*file, 2048);
        if (problem.empty() && file->seek(0) != 0)
            problem = "a seek to the start did not get there";
    }
    file.reset();
    if (fd >= 0)
        ::close(fd);
    return problem;
}

} // namespace fuzzing
