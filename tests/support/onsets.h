#pragma once
// Where the notes of a rendered song begin, and how far each lands from a
// steady beat: for measuring the synthesizer's timing in what it renders.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace onsets {

// The first frame of every sound in interleaved stereo FRAMES that rises
// above THRESHOLD after at least QUIET frames below it.
inline std::vector<size_t> find(const std::vector<float>& frames, float threshold, size_t quiet)
{
    std::vector<size_t> found;
    size_t silent = quiet;
    for (size_t i = 0; 2 * i + 1 < frames.size(); ++i) {
        const bool loud = std::max(std::abs(frames[2 * i]), std::abs(frames[2 * i + 1])) > threshold;
        if (loud && silent >= quiet)
            found.push_back(i);
        silent = loud ? 0 : silent + 1;
    }
    return found;
}

// How far each onset (in seconds) lies from the straight line through them
// that fits the song's times TIMES best (least squares), in milliseconds;
// SLOPE is the line's, 1 when the sound keeps the song's pace.
inline std::vector<double> deviations(
    const std::vector<double>& onsets, const std::vector<double>& times, double* slope = nullptr)
{
    const size_t n = std::min(onsets.size(), times.size());
    double mt = 0, mo = 0;
    for (size_t i = 0; i < n; ++i) {
        mt += times[i] / double(n);
        mo += onsets[i] / double(n);
    }
    double stt = 0, sto = 0;
    for (size_t i = 0; i < n; ++i) {
        stt += (times[i] - mt) * (times[i] - mt);
        sto += (times[i] - mt) * (onsets[i] - mo);
    }
    const double b = stt > 0 ? sto / stt : 1;
    if (slope)
        *slope = b;
    std::vector<double> ms;
    for (size_t i = 0; i < n; ++i)
        ms.push_back(1000 * std::abs(onsets[i] - (mo + b * (times[i] - mt))));
    return ms;
}

} // namespace onsets
