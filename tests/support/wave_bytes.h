#pragma once
// The bytes of a plain PCM wave file, for tests that need one the device
// accepts without caring what it sounds like.
#include <cstdint>
#include <string>

namespace testing_support {

// SECONDS of 16-bit mono silence at 8 kHz.
inline std::string silentWave(uint32_t seconds)
{
    const auto le = [](uint32_t v, int bytes) {
        std::string s;
        for (int i = 0; i < bytes; ++i)
            s += char((v >> (8 * i)) & 0xff);
        return s;
    };
    const uint32_t data = 8000 * 2 * seconds;
    return "RIFF" + le(36 + data, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(8000, 4) + le(16000, 4)
        + le(2, 2) + le(16, 2) + "data" + le(data, 4) + std::string(data, '\0');
}

} // namespace testing_support
