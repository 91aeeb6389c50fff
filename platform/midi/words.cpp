#include "platform/midi/words.h"

#include "platform/midi/words_layout.h"

#include <algorithm>
#include <array>
#include <limits>

namespace midi {

namespace {

using words_layout::Layout;
using words_layout::pieceLength;

constexpr uint8_t kTextType = 0x01;
constexpr uint8_t kLyricType = 0x05;
constexpr uint32_t kNoTrack = std::numeric_limits<uint32_t>::max();

// 0x80 to 0x9F; 0 where Windows-1252 defines no character.
constexpr std::array<char16_t, 32> kHighControls = {0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6,
    0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC,
    0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

void appendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void appendWindows1252(std::string& out, std::string_view bytes)
{
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80)
            out += ch;
        else if (b < 0xA0)
            appendUtf8(out, kHighControls[b - 0x80] ? kHighControls[b - 0x80] : 0xFFFD);
        else
            appendUtf8(out, b); // Latin-1 from 0xA0 on
    }
}

// A text as the file has it, up to its first NUL: writers pad with them, and
// nothing after one is meant to be read.
std::string_view bytesOf(const Song& song, const TextEvent& e)
{
    const std::string_view all(reinterpret_cast<const char*>(song.textBytes.data()) + e.offset, e.size);
    return all.substr(0, all.find('\0'));
}

// A track's name is never sung, nor the song's information, however it reads.
bool mayBeWords(const TextEvent& e)
{
    return e.type == kTextType || e.type == kLyricType;
}

bool isInformation(std::string_view text)
{
    return !text.empty() && text.front() == '@';
}

// Text events are words only where the song shows the karaoke convention:
// most plain songs carry a few texts (a copyright, a remark) that are none.
bool marksKaraoke(std::string_view text)
{
    return !text.empty() && (text.front() == '@' || text.front() == '\\' || text.front() == '/');
}

// Whether TEXT shows something besides its marks: an event of a lone return
// or a blank between words is no syllable.
bool isSyllable(std::string_view text)
{
    const size_t first = std::min(text.size(), text.find_first_not_of("\\/\r\n"));
    return std::any_of(text.begin() + static_cast<std::ptrdiff_t>(first), text.end(),
        [](char c) { return static_cast<unsigned char>(c) > 0x20 && c != 0x7F; });
}

// Before the syllable or after it, where only blanks follow the mark.
bool breaksLine(std::string_view text)
{
    const size_t last = text.find_last_not_of(" \t");
    return text.starts_with('/') || text.starts_with('\\') || text.find_first_of("\r\n") != std::string_view::npos
        || (last != std::string_view::npos && (text[last] == '/' || text[last] == '\\'));
}

// What one kind of event offers as the song's words: the track with the most
// syllables of that kind (words sung in one track are often shown again in
// another, a melody's or a second voice's, and taking both would show every
// syllable twice), how many, and how many of its events break a line.
struct Offer {
    uint32_t track = kNoTrack;
    uint32_t syllables = 0;
    uint32_t breaks = 0;
    uint8_t type = kLyricType;
};

struct Survey {
    Offer lyrics {.type = kLyricType};
    Offer texts {.type = kTextType};
    bool utf8Information = true;
};

Offer busiestTrack(const std::vector<uint32_t>& syllables, const std::vector<uint32_t>& breaks, uint8_t type)
{
    const auto best = std::max_element(syllables.begin(), syllables.end());
    if (best == syllables.end() || *best == 0)
        return {.type = type};
    const auto track = static_cast<size_t>(best - syllables.begin());
    return {static_cast<uint32_t>(track), *best, breaks[track], type};
}

Survey survey(const Song& song)
{
    Survey s;
    bool karaokeTexts = false;
    const size_t n = song.tracks.size();
    std::vector<uint32_t> syllables[2] = {std::vector<uint32_t>(n), std::vector<uint32_t>(n)}; // lyrics, texts
    std::vector<uint32_t> breaks[2] = {std::vector<uint32_t>(n), std::vector<uint32_t>(n)};
    for (const TextEvent& e : song.texts) {
        if (!mayBeWords(e))
            continue;
        const std::string_view bytes = bytesOf(song, e);
        karaokeTexts = karaokeTexts || (e.type == kTextType && marksKaraoke(bytes));
        if (isInformation(bytes)) {
            s.utf8Information = s.utf8Information && isValidUtf8(bytes);
            continue;
        }
        const int kind = e.type == kLyricType ? 0 : 1;
        syllables[kind][e.track] += isSyllable(bytes);
        breaks[kind][e.track] += breaksLine(bytes);
    }
    s.lyrics = busiestTrack(syllables[0], breaks[0], kLyricType);
    if (karaokeTexts)
        s.texts = busiestTrack(syllables[1], breaks[1], kTextType);
    return s;
}

// The kind that carries the words, never both: they are often there twice,
// plainly in one kind and with their lines marked in the other.
Offer wordsOffer(const Survey& s)
{
    const Offer& l = s.lyrics;
    const Offer& t = s.texts;
    return t.syllables > l.syllables || (t.syllables == l.syllables && t.breaks > l.breaks) ? t : l;
}

std::string withoutControls(std::string_view text)
{
    std::string out;
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
            out += c;
    const size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

void decode(std::string_view bytes, bool utf8, std::string& out)
{
    out.clear();
    if (utf8)
        out.assign(bytes);
    else
        appendWindows1252(out, bytes);
}

// The song's @ texts, the first few of them once each (a song that has its
// words twice often has them twice too), and its title: the first that
// begins with T.
void readInformation(const Song& song, bool utf8, Words& words)
{
    std::string decoded;
    size_t looked = 0;
    for (const TextEvent& e : song.texts) {
        const std::string_view bytes = bytesOf(song, e);
        if (!mayBeWords(e) || !isInformation(bytes))
            continue;
        decode(bytes.substr(1), utf8, decoded);
        std::string line = withoutControls(decoded);
        line.resize(pieceLength(line, kHardLineBytes));
        if (words.title.empty() && line.size() > 1 && line.front() == 'T')
            words.title = withoutControls(std::string_view(line).substr(1));
        // Bounded, so that a song of nothing but @ texts is read in its time.
        if (words.information.size() < kMostInformation && ++looked <= 4 * kMostInformation) {
            if (std::find(words.information.begin(), words.information.end(), line) == words.information.end())
                words.information.push_back(std::move(line));
        } else if (!words.title.empty()) {
            return;
        }
    }
}

template <class Sung>
void readSyllables(const Song& song, bool utf8, Sung sung, Words& words, const std::atomic<bool>* cancelled)
{
    Layout layout(words);
    std::string decoded;
    uint32_t cachedTick = 0;
    uint64_t cachedMicros = song.tempo.micros(0);
    size_t read = 0;
    for (const TextEvent& e : song.texts) {
        if (++read % 65536 == 0 && cancelled && cancelled->load(std::memory_order_relaxed))
            break;
        if (!sung(e))
            continue;
        if (e.tick != cachedTick) {
            cachedTick = e.tick;
            cachedMicros = song.tempo.micros(e.tick);
        }
        std::string_view text = bytesOf(song, e);
        if (!utf8) {
            decode(text, false, decoded);
            text = decoded;
        }
        layout.addEvent(cachedMicros, text);
    }
    layout.finish();
}

} // namespace

bool isValidUtf8(std::string_view bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    while (p < end) {
        const unsigned char b = *p;
        if (b < 0x80) {
            ++p;
            continue;
        }
        int more;
        uint32_t c;
        if (b >= 0xC2 && b <= 0xDF) {
            more = 1;
            c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            more = 2;
            c = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            more = 3;
            c = b & 0x07;
        } else {
            return false;
        }
        if (end - p <= more)
            return false;
        for (int i = 1; i <= more; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            c = c << 6 | (p[i] & 0x3F);
        }
        // Overlong forms, surrogates and code points past Unicode's last.
        if ((more == 2 && c < 0x800) || (more == 3 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        p += more + 1;
    }
    return true;
}

std::string fromWindows1252(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    appendWindows1252(out, bytes);
    return out;
}

size_t Words::sungBy(uint64_t micros) const
{
    const auto after = std::upper_bound(
        syllables.begin(), syllables.end(), micros, [](uint64_t at, const Syllable& s) { return at < s.micros; });
    return static_cast<size_t>(after - syllables.begin());
}

size_t Words::lineOf(size_t index) const
{
    const auto after = std::upper_bound(
        lines.begin(), lines.end(), index, [](size_t i, const WordsLine& line) { return i < line.firstSyllable; });
    return static_cast<size_t>(after - lines.begin()) - 1;
}

Words readWords(const Song& song, const std::atomic<bool>* cancelled)
{
    Words words;
    const Survey found = survey(song);
    const Offer offer = wordsOffer(found);
    const auto sung = [&](const TextEvent& e) {
        return e.track == offer.track && e.type == offer.type && !isInformation(bytesOf(song, e));
    };
    // One encoding for the whole song: a file is written in one, and a few
    // plain-ASCII syllables say nothing about the others.
    const bool utf8 = found.utf8Information
        && std::all_of(song.texts.begin(), song.texts.end(),
            [&](const TextEvent& e) { return !sung(e) || isValidUtf8(bytesOf(song, e)); });

    readInformation(song, utf8, words);
    words.syllables.reserve(offer.syllables);
    readSyllables(song, utf8, sung, words, cancelled);
    return words;
}

} // namespace midi
