#include "platform/midi/messages.h"

#include <algorithm>
#include <array>

namespace midi {

namespace {

// Compares PATTERN with the packet; 0xFF in the pattern matches any byte.
template <size_t N>
bool matches(std::span<const uint8_t> sysex, const std::array<uint8_t, N>& pattern)
{
    if (sysex.size() != N)
        return false;
    return std::equal(pattern.begin(), pattern.end(), sysex.begin(),
                      [](uint8_t p, uint8_t b) { return p == 0xFF || p == b; });
}

constexpr std::array<uint8_t, 6> gmOn{0xF0, 0x7E, 0xFF, 0x09, 0x01, 0xF7};
constexpr std::array<uint8_t, 6> gm2On{0xF0, 0x7E, 0xFF, 0x09, 0x03, 0xF7};
constexpr std::array<uint8_t, 11> gsReset{0xF0, 0x41, 0xFF, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
constexpr std::array<uint8_t, 9> xgOn{0xF0, 0x43, 0xFF, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};

} // namespace

ResetKind resetKind(std::span<const uint8_t> sysex)
{
    if (matches(sysex, gmOn))
        return ResetKind::GmOn;
    if (matches(sysex, gm2On))
        return ResetKind::Gm2On;
    if (matches(sysex, gsReset))
        return ResetKind::GsReset;
    if (matches(sysex, xgOn) && (sysex[2] & 0xF0) == 0x10)
        return ResetKind::XgOn;
    return ResetKind::None;
}

} // namespace midi
