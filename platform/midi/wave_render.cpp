#include "platform/midi/wave_render.h"

#include "platform/fs/temp_file.h"
#include "platform/midi/output.h"
#include "platform/midi/sequence.h"
#include "platform/midi/synth.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include <unistd.h>

namespace midi {

namespace {

constexpr int kBlockFrames = 1024;
// The tail ends once a second of it stays below this, or after a minute.
constexpr float kSilence = 1.0f / 32768;
constexpr int kLongestTailSeconds = 60;
constexpr size_t kHeaderBytes = 44;

// What the sequence sends, kept with its time until the render reaches it.
class Pending final : public Output {
public:
    void send(std::span<const uint8_t> message, TimePoint due) override
    {
        messages_.push_back({std::vector<uint8_t>(message.begin(), message.end()), due});
    }
    struct Message {
        std::vector<uint8_t> bytes;
        TimePoint due;
    };
    std::vector<Message> take() { return std::exchange(messages_, {}); }

private:
    std::vector<Message> messages_;
};

void putLe(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

std::vector<uint8_t> waveHeader(int sampleRate, uint32_t frames)
{
    const uint32_t data = frames * 4;
    std::vector<uint8_t> h;
    h.insert(h.end(), {'R', 'I', 'F', 'F'});
    putLe(h, 36 + data, 4);
    h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLe(h, 16, 4);
    putLe(h, 1, 2); // PCM
    putLe(h, 2, 2); // stereo
    putLe(h, uint32_t(sampleRate), 4);
    putLe(h, uint32_t(sampleRate) * 4, 4);
    putLe(h, 4, 2);
    putLe(h, 16, 2);
    h.insert(h.end(), {'d', 'a', 't', 'a'});
    putLe(h, data, 4);
    return h;
}

// Writes all of BYTES at OFFSET; 0 or errno.
int writeAll(int fd, const uint8_t* bytes, size_t size, off_t offset)
{
    while (size > 0) {
        const ssize_t n = pwrite(fd, bytes, size, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        bytes += n;
        size -= size_t(n);
        offset += n;
    }
    return 0;
}

std::string why(int error, const std::string& path)
{
    return "The wave file \"" + path + "\" cannot be written: " + std::strerror(error) + ".";
}

} // namespace

bool writeWave(std::shared_ptr<const Song> song, const WaveRender& render, const std::string& path, bool replace,
    const std::function<bool(double done)>& goOn, std::string& error)
{
    std::unique_ptr<Synth> synth = Synth::create(render.sampleRate, render.soundfont, error, SampleLoading::Whole,
        int(std::max(1u, std::thread::hardware_concurrency())));
    if (!synth)
        return false;
    kernel::TempFile file;
    if (const int failed = file.open(path, 0644)) {
        error = why(failed, path);
        return false;
    }
    auto pending = std::make_shared<Pending>();
    Sequence sequence(song, pending);
    const TimePoint start = TimePoint {} + std::chrono::seconds(1);
    sequence.setTranspose(render.transpose, start);
    sequence.setTempo(render.tempo, start);
    sequence.setSilenced(render.silenced, start);
    sequence.setQuiet(render.quiet, start);
    sequence.play(start);

    const auto frameOf = [&](TimePoint t) {
        const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(t - start).count();
        return uint64_t(std::max<int64_t>(0, nanos) * render.sampleRate / 1000000000);
    };
    const auto timeOf = [&](uint64_t frame) {
        return start + std::chrono::nanoseconds(int64_t(frame) * 1000000000 / render.sampleRate);
    };
    const double songFrames = double(song->lengthMicros) * 100 / render.tempo * render.sampleRate / 1e6;
    std::vector<float> block(2 * kBlockFrames);
    std::vector<int16_t> pcm(2 * kBlockFrames);
    std::vector<Pending::Message> waiting;
    uint64_t frame = 0;
    uint64_t quietFrames = 0;
    bool ended = false;
    off_t offset = kHeaderBytes;
    for (int round = 0;; ++round) {
        const uint64_t blockEnd = frame + kBlockFrames;
        if (!ended) {
            // Everything due before the block's end, with its time.
            while (sequence.process(timeOf(blockEnd)) == timeOf(blockEnd)) { }
            if (sequence.takeEnded() || sequence.state() != Sequence::State::Playing)
                ended = true;
        }
        for (Pending::Message& m : pending->take())
            waiting.push_back(std::move(m));
        std::stable_sort(waiting.begin(), waiting.end(),
            [](const Pending::Message& a, const Pending::Message& b) { return a.due < b.due; });
        int done = 0;
        size_t applied = 0;
        for (; applied < waiting.size(); ++applied) {
            const uint64_t at = std::max<uint64_t>(frameOf(waiting[applied].due), frame + done);
            if (at >= blockEnd)
                break;
            if (at > frame + uint64_t(done)) {
                synth->render(block.data() + 2 * done, int(at - frame) - done);
                done = int(at - frame);
            }
            synth->apply(waiting[applied].bytes);
        }
        waiting.erase(waiting.begin(), waiting.begin() + long(applied));
        if (done < kBlockFrames)
            synth->render(block.data() + 2 * done, kBlockFrames - done);

        float peak = 0;
        for (size_t i = 0; i < block.size(); ++i) {
            const float v = std::clamp(block[i], -1.0f, 1.0f);
            peak = std::max(peak, std::abs(v));
            pcm[i] = int16_t(std::lrint(v * 32767));
        }
        if (const int failed
            = writeAll(file.fd(), reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size() * sizeof(int16_t), offset)) {
            error = why(failed, path);
            return false;
        }
        offset += off_t(pcm.size() * sizeof(int16_t));
        frame = blockEnd;
        if (ended && waiting.empty()) {
            quietFrames = peak < kSilence ? quietFrames + kBlockFrames : 0;
            if (quietFrames >= uint64_t(render.sampleRate)
                || frame > songFrames + double(kLongestTailSeconds) * render.sampleRate)
                break;
        }
        if (round % 16 == 0 && goOn && !goOn(std::min(1.0, double(frame) / std::max(1.0, songFrames)))) {
            error = "Cancelled.";
            return false;
        }
    }
    const std::vector<uint8_t> header = waveHeader(render.sampleRate, uint32_t(frame));
    if (frame > (uint64_t(UINT32_MAX) - 36) / 4) {
        error = why(EFBIG, path);
        return false;
    }
    if (int failed = writeAll(file.fd(), header.data(), header.size(), 0);
        failed || (failed = file.finish()) || (failed = file.place(replace))) {
        error = failed == EEXIST ? "The wave file \"" + path + "\" exists already." : why(failed, path);
        return false;
    }
    if (goOn)
        goOn(1.0);
    return true;
}

} // namespace midi
