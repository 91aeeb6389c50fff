#pragma once
// Wave files for the tests, written byte by byte or through libsndfile.
#include <cstdint>
#include <string>
#include <vector>

namespace wave_test {

void put(std::string& s, uint64_t v, int bytes); // little-endian
std::string chunk(const std::string& id, const std::string& body);
std::string riffWave(int tag, int rate, int channels, int bits, const std::string& chunksAfterFmt);

// 16-bit PCM whose frame i is heard as frameOf() == i (mod 30000), never silent.
std::string markedPcm16(int rate, int channels, int frames);
int64_t frameOf(float sample);
std::string pcm8(int rate, int channels, int frames);
std::string float32(int rate, const std::vector<float>& samples);
// FRAMES frames of a tone written by libsndfile in FORMAT.
std::string viaSndfile(int format, int rate, int channels, int frames);
void setFact(std::string& bytes, uint32_t frames);

} // namespace wave_test
