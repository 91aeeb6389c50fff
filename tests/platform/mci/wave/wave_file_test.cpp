#include "platform/mci/wave/riff_probe.h"
#include "platform/mci/wave/wave_file.h"
#include "tests/platform/mci/wave/wav_bytes.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <sys/stat.h>

using namespace wave_test;
using mci::wave::WaveFile;

namespace {

std::optional<uint64_t> factOf(const std::string& bytes)
{
    const auto probe = mci::wave::probeRiff(
        [&](uint64_t offset, void* buffer, size_t size) -> size_t {
            const size_t n = offset < bytes.size() ? std::min<size_t>(size, bytes.size() - offset) : 0;
            std::memcpy(buffer, bytes.data() + std::min<size_t>(offset, bytes.size()), n);
            return n;
        },
        bytes.size());
    EXPECT_TRUE(probe.isWave);
    return probe.factFrames;
}

std::string u32(uint32_t v)
{
    std::string s;
    put(s, v, 4);
    return s;
}

} // namespace

TEST(RiffProbe, FindsTheFactCountAndSurvivesHostileChunkTables)
{
    // After the data, behind an odd-sized chunk and its pad byte.
    EXPECT_EQ(factOf(riffWave(0x11, 8000, 1, 4, chunk("LIST", "odd") + chunk("data", "abc") + chunk("fact", u32(7)))),
              7u);
    // RF64 keeps a count too big for "fact" in "ds64".
    std::string ds64;
    put(ds64, 0, 8);
    put(ds64, 4, 8);
    put(ds64, 5000000000ull, 8);
    std::string rf64 = riffWave(0x11, 8000, 1, 4, chunk("fact", u32(0xffffffff)) + chunk("data", "abcd"));
    rf64.replace(0, 4, "RF64");
    rf64.insert(12, chunk("ds64", ds64));
    EXPECT_EQ(factOf(rf64), 5000000000u);

    // A chunk size pointing far past the end, and a million empty chunks:
    // the walk stops instead of reading garbage or crawling.
    std::string junk = "JUNK";
    put(junk, 0xffffffff, 4);
    EXPECT_FALSE(factOf(riffWave(1, 8000, 1, 8, junk + chunk("fact", u32(5)))));
    std::string many;
    for (int i = 0; i < 1000000; ++i)
        many += chunk("JUNK", "");
    EXPECT_FALSE(factOf(riffWave(1, 8000, 1, 8, many + chunk("fact", u32(3)))));
}

TEST(WaveFile, ReadsFloatFilesAsFloatsAndDefusesNonFiniteSamples)
{
    testing_support::TempDir dir;
    std::unique_ptr<WaveFile> f;
    ASSERT_TRUE(WaveFile::open(dir.write("f.wav", float32(48000, {0.5f, -0.25f, NAN, INFINITY, 3.0f})), f).ok());
    std::vector<float> out(8, 9.0f);
    ASSERT_EQ(f->read(out.data(), 8), 5);
    EXPECT_EQ(out, (std::vector<float>{0.5f, -0.25f, 0.0f, 0.0f, 1.0f, 9.0f, 9.0f, 9.0f}));
}

TEST(WaveFile, SeeksInCodecsLibsndfileCannotSeek)
{
    // GSM 6.10 refuses every seek, even to the start: the same stretch decoded
    // twice must come out the same.
    testing_support::TempDir dir;
    std::unique_ptr<WaveFile> gsm;
    ASSERT_TRUE(WaveFile::open(dir.write("g.wav", viaSndfile(SF_FORMAT_WAV | SF_FORMAT_GSM610, 8000, 1, 20000)), gsm)
                    .ok());
    std::vector<float> first(320), again(320);
    ASSERT_EQ(gsm->seek(1000), 1000);
    ASSERT_EQ(gsm->read(first.data(), 320), 320);
    ASSERT_EQ(gsm->seek(2500), 2500);
    ASSERT_EQ(gsm->seek(1000), 1000);
    ASSERT_EQ(gsm->read(again.data(), 320), 320);
    EXPECT_EQ(first, again);
    int calls = 0;
    EXPECT_LT(gsm->seek(19000, [&] { return ++calls > 1; }), 19000); // cancelled on the way
    EXPECT_EQ(gsm->seek(99999), 20000);                             // clamped to the end
}

TEST(WaveFile, RefusesWhatIsNotAWaveFileAndOpensWaveFilesWhateverTheirName)
{
    testing_support::TempDir dir;
    std::unique_ptr<WaveFile> f;
    auto codeOf = [&](const std::string& name, const std::string& bytes) {
        const mci::Result r = WaveFile::open(dir.write(name, bytes), f);
        EXPECT_TRUE(r.ok() || (!r.text.empty() && !f)) << name;
        return r.code;
    };
    EXPECT_EQ(WaveFile::open((dir / "missing.wav").string(), f).code, mci::ErrFileNotFound);
    EXPECT_EQ(WaveFile::open(dir.str(), f).code, mci::ErrInvalidFile);
    EXPECT_EQ(codeOf("empty.wav", ""), mci::ErrInvalidFile);
    EXPECT_EQ(codeOf("header.wav", markedPcm16(8000, 1, 10).substr(0, 30)), mci::ErrInvalidFile);
    EXPECT_EQ(codeOf("text.wav", "This is just a text file.\n"), mci::ErrInvalidFile);
    EXPECT_EQ(codeOf("aiff.wav", viaSndfile(SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 8000, 1, 100)), mci::ErrInvalidFile);
    EXPECT_EQ(codeOf("rate.wav", markedPcm16(3, 1, 10)), mci::ErrUnsupportedFormat);
    std::string channels = markedPcm16(8000, 1, 10);
    channels[22] = char(200);
    EXPECT_EQ(codeOf("channels.wav", channels), mci::ErrUnsupportedFormat);
    const std::string fifo = (dir / "pipe.wav").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(WaveFile::open(fifo, f).code, mci::ErrInvalidFile); // refused, not waited on

    for (const std::string name : {"a.wa~", "a.bun", "no extension", " blanks  .wav", "odd \x01\xff\xc3\x28.wav"})
        EXPECT_EQ(codeOf(name, pcm8(8000, 1, 80)), mci::Ok) << name;
    for (int format : {SF_FORMAT_RF64 | SF_FORMAT_PCM_16, SF_FORMAT_WAVEX | SF_FORMAT_PCM_24,
                       SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG}) {
        ASSERT_EQ(codeOf("flavour.wav", viaSndfile(format, 8000, 2, 100)), mci::Ok) << std::hex << format;
        EXPECT_EQ(f->frames(), 100);
    }
}
