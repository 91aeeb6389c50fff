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
    return s + body + (body.size() & 1 ? std::string(1, '\0') : "");
}

std::string riffWave(int tag, int rate, int channels, int bits, const std::string& chunksAfterFmt)
{
    std::string fmt;
    put(fmt, tag, 2);
    put(fmt, channels, 2);
    put(fmt, rate, 4);
    put(fmt, uint64_t(rate) * channels * bits / 8, 4);
    put(fmt, channels * bits / 8, 2);
    put(fmt, bits, 2);
    const std::string body = "WAVE" + chunk("fmt ", fmt) + chunksAfterFmt;
    std::string s = "RIFF";
    put(s, body.size(), 4);
    return s + body;
}

std::string markedPcm16(int rate, int channels, int frames)
{
    std::string data;
    for (int i = 0; i < frames * channels; ++i)
        put(data, 1 + (i / channels) % 30000, 2);
    return riffWave(1, rate, channels, 16, chunk("data", data));
}

int64_t frameOf(float sample)
{
    const long v = std::lround(double(sample) * 32768.0);
    return v <= 0 ? -1 : v - 1;
}

std::string pcm8(int rate, int channels, int frames)
{
    return riffWave(1, rate, channels, 8, chunk("data", std::string(size_t(frames) * channels, char(200))));
}

std::string float32(int rate, const std::vector<float>& samples)
{
    std::string data, fact;
    for (float v : samples) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        put(data, bits, 4);
    }
    put(fact, samples.size(), 4);
    return riffWave(3, rate, 1, 32, chunk("fact", fact) + chunk("data", data));
}

std::string viaSndfile(int format, int rate, int channels, int frames)
{
    testing_support::TempDir dir;
    const std::string path = (dir / "made.wav").string();
    SF_INFO info{0, rate, channels, format, 0, 0};
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
    std::string count;
    put(count, frames, 4);
    bytes.replace(bytes.find("fact") + 8, 4, count);
}

} // namespace wave_test
