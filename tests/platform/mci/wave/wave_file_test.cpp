#include "platform/mci/wave/riff_probe.h"
#include "platform/mci/wave/wave_file.h"
#include "tests/platform/mci/wave/wav_bytes.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <vector>

using namespace wave_test;
using mci::wave::probeRiff;
using mci::wave::RiffProbe;
using mci::wave::WaveFile;

namespace {

RiffProbe probeBytes(const std::string& bytes)
{
    return probeRiff(
        [&](uint64_t offset, void* buffer, size_t size) -> size_t {
            if (offset >= bytes.size())
                return 0;
            const size_t n = std::min<size_t>(size, bytes.size() - offset);
            std::memcpy(buffer, bytes.data() + offset, n);
            return n;
        },
        bytes.size());
}

std::string factBody(uint32_t frames)
{
    std::string s;
    put(s, frames, 4);
    return s;
}

mci::Result openBytes(const testing_support::TempDir& dir, const std::string& name, const std::string& bytes,
                      std::unique_ptr<WaveFile>& out)
{
    return WaveFile::open(dir.write(name, bytes), out);
}

} // namespace

TEST(RiffProbe, FindsTheFactCountWhereverTheFileKeepsIt)
{
    const std::string fmt = chunk("fmt ", fmtChunk(0x11, 11025, 1, 4));
    // Before and after the data, and with an odd-sized chunk (pad byte) in between.
    EXPECT_EQ(probeBytes(riffWave(fmt + chunk("fact", factBody(1000)) + chunk("data", "ab"))).factFrames, 1000u);
    EXPECT_EQ(probeBytes(riffWave(fmt + chunk("LIST", "odd") + chunk("data", "abc") + chunk("fact", factBody(7))))
                  .factFrames,
              7u);
    // No fact, or a zero count: nothing to go by.
    EXPECT_FALSE(probeBytes(riffWave(fmt + chunk("data", "ab"))).factFrames);
    EXPECT_FALSE(probeBytes(riffWave(fmt + chunk("fact", factBody(0)) + chunk("data", "ab"))).factFrames);

    // Big-endian RIFX.
    std::string rifx = "RIFX";
    rifx += std::string("\0\0\0\x1c", 4);
    rifx += "WAVE";
    rifx += std::string("fact\0\0\0\x04\0\0\x01\x00", 12);
    rifx += std::string("data\0\0\0\x04" "abcd", 12);
    const RiffProbe be = probeBytes(rifx);
    EXPECT_TRUE(be.isWave);
    EXPECT_EQ(be.factFrames, 256u);

    // RF64 keeps the real count in "ds64" when "fact" is full.
    std::string ds64;
    put(ds64, 0, 8);          // RIFF size
    put(ds64, 4, 8);          // data size
    put(ds64, 5000000000, 8); // frames
    put(ds64, 0, 4);          // table entries
    std::string rf64 = "RF64";
    put(rf64, 0xffffffff, 4);
    rf64 += "WAVE" + chunk("ds64", ds64) + fmt + chunk("fact", factBody(0xffffffff)) + chunk("data", "abcd");
    EXPECT_EQ(probeBytes(rf64).factFrames, 5000000000u);
}

TEST(RiffProbe, SurvivesHostileChunkTables)
{
    EXPECT_FALSE(probeBytes("").isWave);
    EXPECT_FALSE(probeBytes("RIFF\x10\0\0\0AVI LIST").isWave);
    EXPECT_FALSE(probeBytes("FORM\0\0\0\x20" "AIFFCOMM").isWave);

    // Sizes that point far past the end, or wrap a 64-bit offset.
    std::string huge = riffWave(chunk("fmt ", fmtChunk(1, 8000, 1, 8)));
    huge += "JUNK";
    put(huge, 0xffffffff, 4);
    huge += chunk("fact", factBody(5));
    EXPECT_TRUE(probeBytes(huge).isWave);
    EXPECT_FALSE(probeBytes(huge).factFrames);

    std::string rf64 = "RF64";
    put(rf64, 0xffffffff, 4);
    std::string ds64;
    put(ds64, 0, 8);
    put(ds64, 0xfffffffffffffff0ull, 8);
    put(ds64, 0, 8);
    rf64 += "WAVE" + chunk("ds64", ds64) + "data";
    put(rf64, 0xffffffff, 4);
    rf64 += "ab" + chunk("fact", factBody(9));
    EXPECT_FALSE(probeBytes(rf64).factFrames);

    // A million empty chunks: the walk gives up rather than crawl through them.
    std::string many = "RIFF";
    put(many, 0, 4);
    many += "WAVE";
    for (int i = 0; i < 1000000; ++i)
        many += std::string("JUNK\0\0\0\0", 8);
    many += chunk("fact", factBody(3));
    EXPECT_FALSE(probeBytes(many).factFrames);
}

TEST(WaveFile, CountsFramesOfPcmFloatAndBlockCodecsExactly)
{
    testing_support::TempDir dir;
    std::unique_ptr<WaveFile> f;
    ASSERT_TRUE(openBytes(dir, "a.wav", pcm8(11025, 1, 5513), f).ok());
    EXPECT_EQ(f->sampleRate(), 11025);
    EXPECT_EQ(f->channels(), 1);
    EXPECT_EQ(f->frames(), 5513);

    ASSERT_TRUE(openBytes(dir, "b.wav", markedPcm16(44100, 2, 4410), f).ok());
    EXPECT_EQ(f->channels(), 2);
    EXPECT_EQ(f->frames(), 4410);

    // libsndfile counts IMA ADPCM in whole blocks; the fact chunk has the truth.
    std::string ima = viaSndfile(SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 11025, 1, 1000);
    setFact(ima, 1000);
    ASSERT_TRUE(openBytes(dir, "ima.wav", ima, f).ok());
    EXPECT_EQ(f->frames(), 1000);
    std::vector<float> all(4096);
    EXPECT_EQ(f->read(all.data(), 4096), 1000);

    // A fact chunk claiming more than the data holds is not believed.
    setFact(ima, 50000);
    ASSERT_TRUE(openBytes(dir, "ima2.wav", ima, f).ok());
    EXPECT_LT(f->frames(), 1100);

    // For plain PCM the data is exact and a stray fact chunk does not cut it.
    std::string pcm = riffWave(chunk("fmt ", fmtChunk(1, 8000, 1, 8)) + chunk("fact", factBody(10)) +
                               chunk("data", std::string(800, char(100))));
    ASSERT_TRUE(openBytes(dir, "pcmfact.wav", pcm, f).ok());
    EXPECT_EQ(f->frames(), 800);
}

TEST(WaveFile, ReadsFloatSamplesAsTheyAreAndDefusesNonFiniteOnes)
{
    testing_support::TempDir dir;
    std::unique_ptr<WaveFile> f;
    const std::vector<float> in{0.5f, -0.25f, NAN, INFINITY, -INFINITY, 3.0f};
    ASSERT_TRUE(openBytes(dir, "float.wav", float32(48000, 1, in), f).ok());
    std::vector<float> out(8, 9.0f);
    ASSERT_EQ(f->read(out.data(), 8), 6);
    EXPECT_FLOAT_EQ(out[0], 0.5f);
    EXPECT_FLOAT_EQ(out[1], -0.25f);
    EXPECT_EQ(out[2], 0.0f);
    EXPECT_EQ(out[3], 0.0f);
    EXPECT_EQ(out[4], 0.0f);
    EXPECT_EQ(out[5], 1.0f);
}

TEST(WaveFile, PlaysOnlyAsFarAsTheRealDataGoes)
{
    testing_support::TempDir dir;
    std::unique_ptr<WaveFile> f;
    // The data chunk claims 10,000 frames; 300 are there.
    std::string bytes = markedPcm16(8000, 1, 300);
    const auto at = bytes.find("data") + 4;
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((20000 >> (8 * i)) & 0xff);
    ASSERT_TRUE(openBytes(dir, "claims.wav", bytes, f).ok());
    EXPECT_EQ(f->frames(), 300);

    // Cut in the middle of a frame.
    ASSERT_TRUE(openBytes(dir, "cut.wav", markedPcm16(8000, 2, 300).substr(0, 44 + 401), f).ok());
    EXPECT_EQ(f->frames(), 100);
    std::vector<float> out(2 * 400);
    EXPECT_EQ(f->read(out.data(), 400), 100);
    EXPECT_EQ(f->read(out.data(), 400), 0);
}

TEST(WaveFile, SeeksAlsoInCodecsLibsndfileCannotSeek)
{
    testing_support::TempDir dir;
    std::unique_ptr<WaveFile> plain;
    ASSERT_TRUE(openBytes(dir, "p.wav", markedPcm16(8000, 1, 5000), plain).ok());
    std::vector<float> out(16);
    EXPECT_EQ(plain->seek(1234), 1234);
    ASSERT_EQ(plain->read(out.data(), 1), 1);
    EXPECT_EQ(frameOf(out[0]), 1234);
    EXPECT_EQ(plain->seek(99999), 5000); // clamped to the end
    EXPECT_EQ(plain->read(out.data(), 1), 0);

    // GSM 6.10 refuses every seek, even back to the start; decoding the
    // same stretch again must give the same samples.
    std::unique_ptr<WaveFile> gsm;
    ASSERT_TRUE(openBytes(dir, "g.wav", viaSndfile(SF_FORMAT_WAV | SF_FORMAT_GSM610, 8000, 1, 20000), gsm).ok());
    std::vector<float> first(320), again(320);
    ASSERT_EQ(gsm->seek(1000), 1000);
    ASSERT_EQ(gsm->read(first.data(), 320), 320);
    ASSERT_EQ(gsm->seek(2500), 2500);
    ASSERT_EQ(gsm->seek(1000), 1000);
    ASSERT_EQ(gsm->read(again.data(), 320), 320);
    EXPECT_EQ(first, again);
    // A seek cancelled on the way stops short.
    int calls = 0;
    EXPECT_LT(gsm->seek(19000, [&] { return ++calls > 1; }), 19000);
    EXPECT_EQ(gsm->seek(19000), 19000);
}

TEST(WaveFile, RefusesWhatIsNotAPlayableWaveFile)
{
    testing_support::TempDir dir;
    std::unique_ptr<WaveFile> f;
    auto code = [&](const std::string& name, const std::string& bytes) {
        const mci::Result r = openBytes(dir, name, bytes, f);
        EXPECT_FALSE(r.text.empty()) << name;
        EXPECT_EQ(f, nullptr) << name;
        return r.code;
    };
    EXPECT_EQ(WaveFile::open((dir / "missing.wav").string(), f).code, mci::ErrFileNotFound);
    EXPECT_EQ(WaveFile::open((dir / "no-folder/x.wav").string(), f).code, mci::ErrFileNotFound);
    EXPECT_EQ(WaveFile::open(dir.str(), f).code, mci::ErrInvalidFile); // a folder
    EXPECT_EQ(code("empty.wav", ""), mci::ErrInvalidFile);
    EXPECT_EQ(code("header.wav", markedPcm16(8000, 1, 10).substr(0, 30)), mci::ErrInvalidFile);
    EXPECT_EQ(code("text.wav", "This is just a text file.\n"), mci::ErrInvalidFile);
    EXPECT_EQ(code("aiff.wav", viaSndfile(SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 8000, 1, 100)), mci::ErrInvalidFile);
    EXPECT_EQ(code("au.wav", viaSndfile(SF_FORMAT_AU | SF_FORMAT_PCM_16, 8000, 1, 100)), mci::ErrInvalidFile);
    // A wave header without a "fmt " chunk, or with nonsense in it.
    EXPECT_EQ(code("nofmt.wav", riffWave(chunk("data", "abcd"))), mci::ErrInvalidFile);
    std::string many = markedPcm16(8000, 1, 10);
    many[22] = char(200); // channels
    EXPECT_EQ(code("channels.wav", many), mci::ErrUnsupportedFormat);
    EXPECT_EQ(code("rate.wav", markedPcm16(3, 1, 10)), mci::ErrUnsupportedFormat);

    // A named pipe must be refused, not waited on.
    const std::string fifo = (dir / "pipe.wav").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(WaveFile::open(fifo, f).code, mci::ErrInvalidFile);
}

TEST(WaveFile, OpensWaveFilesWhateverTheirNameOrFlavour)
{
    testing_support::TempDir dir;
    std::unique_ptr<WaveFile> f;
    const std::string pcm = markedPcm16(8000, 1, 80);
    for (const std::string name : {"song.wa~", "song.bun", "no extension", " blanks  around .wav",
                                   "odd \x01\xff\xc3\x28 bytes.wav", "quote\"d.wav"})
        EXPECT_TRUE(openBytes(dir, name, pcm, f).ok()) << name;
    EXPECT_TRUE(openBytes(dir, "x.wav", viaSndfile(SF_FORMAT_RF64 | SF_FORMAT_PCM_16, 8000, 2, 100), f).ok());
    EXPECT_EQ(f->frames(), 100);
    EXPECT_TRUE(openBytes(dir, "x.wav", viaSndfile(SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 8000, 2, 100), f).ok());
    EXPECT_TRUE(
        openBytes(dir, "x.wav", viaSndfile(SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG, 8000, 2, 100), f).ok());
    EXPECT_EQ(f->frames(), 100);
}
