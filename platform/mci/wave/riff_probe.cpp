#include "platform/mci/wave/riff_probe.h"

#include <cstring>

namespace mci::wave {

namespace {

// A hostile file can hold any number of tiny chunks; real ones have a handful.
constexpr int kMaxChunks = 4096;

uint32_t get32(const unsigned char* p, bool bigEndian)
{
    if (bigEndian)
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

uint64_t get64le(const unsigned char* p)
{
    return uint64_t(get32(p + 4, false)) << 32 | get32(p, false);
}

bool idIs(const unsigned char* p, const char* id)
{
    return std::memcmp(p, id, 4) == 0;
}

} // namespace

RiffProbe probeRiff(const ReadAt& read, uint64_t fileSize)
{
    RiffProbe probe;
    unsigned char header[12];
    if (fileSize < sizeof header || read(0, header, sizeof header) != sizeof header)
        return probe;
    const bool rf64 = idIs(header, "RF64");
    const bool bigEndian = idIs(header, "RIFX");
    if (!(idIs(header, "RIFF") || bigEndian || rf64) || !idIs(header + 8, "WAVE"))
        return probe;
    probe.isWave = true;

    uint64_t ds64Data = 0;
    uint64_t ds64Frames = 0;
    std::optional<uint32_t> fact;
    uint64_t offset = sizeof header;
    for (int n = 0; n < kMaxChunks && offset + 8 <= fileSize; ++n) {
        unsigned char chunk[8];
        if (read(offset, chunk, sizeof chunk) != sizeof chunk)
            break;
        uint64_t size = get32(chunk + 4, bigEndian);
        const uint64_t body = offset + 8;
        if (rf64 && idIs(chunk, "ds64") && size >= 24) {
            unsigned char d[24];
            if (read(body, d, sizeof d) == sizeof d) {
                ds64Data = get64le(d + 8);
                ds64Frames = get64le(d + 16);
            }
        } else if (idIs(chunk, "fact") && size >= 4) {
            unsigned char f[4];
            if (read(body, f, sizeof f) == sizeof f)
                fact = get32(f, bigEndian);
        } else if (rf64 && idIs(chunk, "data") && size == 0xffffffffu) {
            size = ds64Data;
        }
        if (size > fileSize - body)
            break; // the last chunk, or a size that points past the end
        offset = body + size + (size & 1);
    }

    // In RF64 a full "fact" count defers to the 64-bit one in "ds64".
    uint64_t frames = fact.value_or(0);
    if (rf64 && (!fact || *fact == 0xffffffffu))
        frames = ds64Frames;
    if (frames != 0)
        probe.factFrames = frames;
    return probe;
}

} // namespace mci::wave
