#pragma once
// Wave files for the tests, written byte by byte or through libsndfile.
#include <cstdint>
#include <string>
#include <vector>

namespace wave_test {

// Appends a little-endian integer of BYTES bytes.
void put(std::string& s, uint64_t v, int bytes);
// A RIFF chunk: id, size, body, pad byte.
std::string chunk(const std::string& id, const std::string& body);
// "fmt " for PCM (tag 1) or IEEE float (tag 3).
std::string fmtChunk(int tag, int rate, int channels, int bits);
// A whole RIFF WAVE file of the given chunks.
std::string riffWave(const std::string& chunks);

// 16-bit PCM in which every sample of frame i is the non-zero value
// frameMark(i), so a test can tell which frame it hears.
std::string markedPcm16(int rate, int channels, int frames);
int16_t frameMark(int64_t frame);
// Which frame a rendered float sample came from (-1 for silence).
int64_t frameOf(float sample);

// 8-bit PCM of FRAMES frames of a constant non-silent value.
std::string pcm8(int rate, int channels, int frames);
// 32-bit float samples taken as they are.
std::string float32(int rate, int channels, const std::vector<float>& samples);

// A file written by libsndfile in FORMAT (SF_FORMAT_WAV | codec) with FRAMES
// frames of a quiet tone; returns its bytes.
std::string viaSndfile(int format, int rate, int channels, int frames);
// Rewrites the count in the "fact" chunk of BYTES.
void setFact(std::string& bytes, uint32_t frames);

} // namespace wave_test
