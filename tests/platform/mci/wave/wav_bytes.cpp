#include "tests/platform/mci/wave/wav_bytes.h"

#include "tests/support/temp_dir.h"

#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace wave_test {

void put(std::string& s, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        s.push_back(char((v >> (8 * i)) & 0xff));
}

std::string chunk(const std::string& id, const std::string& body)
{
    std::string s = id;
    put(s, body.size(), 4);
    s += body;
    if (body.size() & 1)
        s.push_back('\0');
    return s;
}

std::string fmtChunk(int tag, int rate, int channels, int bits)
{
    std::string f;
    const int align = channels * bits / 8;
    put(f, tag, 2);
    put(f, channels, 2);
    put(f, rate, 4);
    put(f, uint64_t(rate) * align, 4);
    put(f, align, 2);
    put(f, bits, 2);
    return f;
}

std::string riffWave(const std::string& chunks)
{
    std::string s = "RIFF";
    put(s, 4 + chunks.size(), 4);
    return s + "WAVE" + chunks;
}

int16_t frameMark(int64_t frame)
{
    return int16_t(1 + frame % 30000);
}

int64_t frameOf(float sample)
{
    const long v = std::lround(double(sample) * 32768.0);
    return v <= 0 ? -1 : v - 1;
}

std::string markedPcm16(int rate, int channels, int frames)
{
    std::string data;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            put(data, uint16_t(frameMark(i)), 2);
    return riffWave(chunk("fmt ", fmtChunk(1, rate, channels, 16)) + chunk("data", data));
}

std::string pcm8(int rate, int channels, int frames)
{
    return riffWave(chunk("fmt ", fmtChunk(1, rate, channels, 8)) +
                    chunk("data", std::string(size_t(frames) * channels, char(200))));
}

std::string float32(int rate, int channels, const std::vector<float>& samples)
{
    std::string data;
    for (float v : samples) {
        uint32_t bits;
        static_assert(sizeof bits == sizeof v);
        std::memcpy(&bits, &v, sizeof v);
        put(data, bits, 4);
    }
    std::string fact;
    put(fact, samples.size() / channels, 4);
    return riffWave(chunk("fmt ", fmtChunk(3, rate, channels, 32)) + chunk("fact", fact) + chunk("data", data));
}

std::string viaSndfile(int format, int rate, int channels, int frames)
{
    testing_support::TempDir dir;
    const std::string path = (dir / "made.wav").string();
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        throw std::runtime_error(sf_strerror(nullptr));
    std::vector<float> tone(size_t(frames) * channels);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = 0.25f * std::sin(float(i / channels) * 0.05f);
    sf_writef_float(f, tone.data(), frames);
    sf_close(f);
    return testing_support::readFile(path);
}

void setFact(std::string& bytes, uint32_t frames)
{
    const auto at = bytes.find("fact");
    if (at == std::string::npos)
        throw std::runtime_error("no fact chunk");
    for (int i = 0; i < 4; ++i)
        bytes[at + 8 + i] = char((frames >> (8 * i)) & 0xff);
}

} // namespace wave_test
