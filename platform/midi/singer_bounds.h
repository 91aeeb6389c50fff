#pragma once
// The one set of bounds of the singer's key and tempo: every clamp, every
// check and every text about them is made from these.
#include <algorithm>
#include <string>

namespace midi {

// The key moves by at most kMostSemitones either way; the tempo goes from
// kSlowestPercent to kFastestPercent of the song's own in steps of
// kPercentStep.
inline constexpr int kMostSemitones = 12;
inline constexpr int kSlowestPercent = 50;
inline constexpr int kFastestPercent = 200;
inline constexpr int kPercentStep = 5;

constexpr bool keyInBounds(int semitones)
{
    return semitones >= -kMostSemitones && semitones <= kMostSemitones;
}
constexpr bool tempoInBounds(int percent)
{
    return percent >= kSlowestPercent && percent <= kFastestPercent && percent % kPercentStep == 0;
}
constexpr int clampedKey(int semitones)
{
    return std::clamp(semitones, -kMostSemitones, kMostSemitones);
}
constexpr int clampedTempo(int percent)
{
    return std::clamp(percent, kSlowestPercent, kFastestPercent);
}

// Why a value past the bounds is refused, for the user.
inline std::string keyBoundsText()
{
    return "The key moves by at most " + std::to_string(kMostSemitones) + " semitones either way.";
}
inline std::string tempoBoundsText()
{
    return "The tempo goes from " + std::to_string(kSlowestPercent) + " to " + std::to_string(kFastestPercent)
        + " % in steps of " + std::to_string(kPercentStep) + " %.";
}

} // namespace midi
