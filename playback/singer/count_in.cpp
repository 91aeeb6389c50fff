#include "playback/singer/count_in.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace singer {

namespace {

// When a count-in to syllable NEXT begins, in the song's time; UINT64_MAX
// when none comes before it.
uint64_t countInFrom(const midi::Words& words, size_t next)
{
    const uint64_t at = words.syllables[next].micros;
    if (next == 0)
        return at >= kLeastCountInUs ? 0 : UINT64_MAX;
    const uint64_t previous = words.syllables[next - 1].micros;
    return at - previous >= kCountInGapUs ? previous + kLingerUs : UINT64_MAX;
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

} // namespace

WordsMoment wordsAt(const midi::Words& words, uint64_t nowUs, double rate)
{
    WordsMoment moment;
    moment.sung = words.sungBy(nowUs);
    if (moment.sung >= words.syllables.size())
        return moment;
    const uint64_t next = words.syllables[moment.sung].micros; // after NOW, or sungBy had counted it
    moment.changesAt = next;
    const uint64_t from = countInFrom(words, moment.sung);
    if (from == UINT64_MAX)
        return moment;
    if (nowUs < from) {
        moment.changesAt = from;
        return moment;
    }
    const double secondsHeard = double(next - nowUs) / rate / 1e6;
    moment.countIn = std::max(1, int(std::ceil(secondsHeard)));
    // The count drops when one second fewer is left; a wake a moment early
    // comes again a moment later.
    const auto untilDrop = uint64_t(double(moment.countIn - 1) * 1e6 * rate);
    moment.changesAt = std::max(next - std::min(untilDrop, next), nowUs + 1);
    return moment;
}

std::vector<std::string> shownInformation(const midi::Words& words)
{
    std::vector<std::string> shown;
    bool titleSkipped = false;
    for (const std::string& entry : words.information) {
        if (shown.size() == kMostInformationShown)
            break;
        if (entry.empty())
            continue;
        const char code = entry.front();
        if (code == 'K' || code == 'V' || code == 'L')
            continue;
        if (code == 'T' && !titleSkipped && entry.size() > 1) {
            titleSkipped = true; // the title itself, shown as such
            continue;
        }
        const std::string_view text = trimmed(code == 'T' || code == 'I' ? std::string_view(entry).substr(1) : entry);
        if (!text.empty())
            shown.emplace_back(text);
    }
    return shown;
}

} // namespace singer
