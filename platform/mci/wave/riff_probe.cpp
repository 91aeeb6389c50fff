#include "platform/mci/wave/riff_probe.h"

#include "platform/base/riff.h"

#include <cstring>

namespace mci::wave {

namespace {

uint32_t get32(const unsigned char* p, bool bigEndian)
{
    return bigEndian ? base::riff::be32(p) : base::riff::le32(p);
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
    base::riff::walk(read, sizeof header, fileSize, {.bigEndian = bigEndian}, [&](base::riff::Chunk& chunk) {
        if (rf64 && chunk.is("ds64") && chunk.size >= 24) {
            unsigned char d[24];
            if (read(chunk.body, d, sizeof d) == sizeof d) {
                ds64Data = get64le(d + 8);
                ds64Frames = get64le(d + 16);
            }
        } else if (chunk.is("fact") && chunk.size >= 4) {
            unsigned char f[4];
            if (read(chunk.body, f, sizeof f) == sizeof f)
                fact = get32(f, bigEndian);
        } else if (rf64 && chunk.is("data") && chunk.size == 0xffffffffu) {
            chunk.size = ds64Data;
        }
        return true;
    });

    // In RF64 a full "fact" count defers to the 64-bit one in "ds64".
    uint64_t frames = fact.value_or(0);
    if (rf64 && (!fact || *fact == 0xffffffffu))
        frames = ds64Frames;
    if (frames != 0)
        probe.factFrames = frames;
    return probe;
}

} // namespace mci::wave
