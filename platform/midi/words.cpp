#include "platform/midi/words.h"

#include <algorithm>
#include <array>

namespace midi {

namespace {

constexpr uint8_t kTextType = 0x01;
constexpr uint8_t kLyricType = 0x05;

// 0x80 to 0x9F; 0 where Windows-1252 defines no character.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC,
    0,
    0x201A,
    0x0192,
    0x201E,
    0x2026,
    0x2020,
    0x2021,
    0x02C6,
    0x2030,
    0x0160,
    0x2039,
    0x0152,
    0,
    0x017D,
    0,
    0,
    0x2018,
    0x2019,
    0x201C,
    0x201D,
    0x2022,
    0x2013,
    0x2014,
    0x02DC,
    0x2122,
    0x0161,
    0x203A,
    0x0153,
    0,
    0x017E,
    0x0178,
};

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

// A text as the file has it, up to its first NUL: writers pad with them, and
// nothing after one is meant to be read.
std::string_view bytesOf(const Song& song, const TextEvent& e)
{
    const std::string_view all(reinterpret_cast<const char*>(song.textBytes.data()) + e.offset, e.size);
    return all.substr(0, all.find('\0'));
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

struct Piece {
    uint32_t tick;
    std::string_view bytes;
};

// The track with the most events that WANTED takes: words sung in one track
// are often shown again in another (a melody's or a second voice's), and
// taking both would show every syllable twice.
template <class Wanted> std::vector<Piece> busiestTrack(const Song& song, Wanted wanted)
{
    std::vector<uint32_t> counts(song.tracks.size());
    for (const TextEvent& e : song.texts)
        if (wanted(e))
            ++counts[e.track];
    const auto best = std::max_element(counts.begin(), counts.end());
    std::vector<Piece> pieces;
    if (best == counts.end() || *best == 0)
        return pieces;
    const auto track = static_cast<uint32_t>(best - counts.begin());
    pieces.reserve(*best);
    for (const TextEvent& e : song.texts)
        if (e.track == track && wanted(e))
            pieces.push_back({e.tick, bytesOf(song, e)});
    return pieces;
}

enum class Break { None, Line, Paragraph };

class Layout {
public:
    explicit Layout(Words& words) : w_(words) { }

    void mark(Break b) { pending_ = std::max(pending_, b); }

    void add(uint64_t micros, std::string_view visible)
    {
        if (visible.empty())
            return;
        if (open_ && (pending_ != Break::None || longEnough(visible)))
            closeLine();
        if (!open_)
            openLine();
        const auto begin = static_cast<uint32_t>(w_.text.size());
        w_.text += visible;
        w_.syllables.push_back(
            {micros, begin, static_cast<uint32_t>(w_.text.size()), static_cast<uint32_t>(w_.lines.size() - 1)});
    }

    void finish()
    {
        if (open_)
            closeLine();
    }

private:
    bool longEnough(std::string_view next) const
    {
        const size_t length = w_.text.size() - w_.lines.back().begin;
        const bool betweenWords = w_.text.back() == ' ' || next.front() == ' ';
        return length >= kHardLineBytes || (length >= kSoftLineBytes && betweenWords);
    }
    void openLine()
    {
        const bool paragraph = pending_ == Break::Paragraph || w_.lines.empty();
        if (paragraph && !w_.lines.empty())
            w_.text += '\n';
        const auto at = static_cast<uint32_t>(w_.text.size());
        const auto syllable = static_cast<uint32_t>(w_.syllables.size());
        w_.lines.push_back({at, at, syllable, syllable, paragraph});
        pending_ = Break::None;
        open_ = true;
    }
    void closeLine()
    {
        WordsLine& line = w_.lines.back();
        line.end = static_cast<uint32_t>(w_.text.size());
        line.endSyllable = static_cast<uint32_t>(w_.syllables.size());
        w_.text += '\n';
        open_ = false;
    }

    Words& w_;
    Break pending_ = Break::None;
    bool open_ = false;
};

// One event's syllable. A carriage return ends a line and a line feed a
// paragraph, wherever in the event they stand; other control characters
// show nothing.
void addEvent(Layout& layout, uint64_t micros, std::string_view text)
{
    std::string visible;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            layout.add(micros, visible);
            visible.clear();
            layout.mark(c == '\r' ? Break::Line : Break::Paragraph);
        } else if (c == '\t') {
            visible += ' ';
        } else if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) {
            visible += c;
        }
    }
    layout.add(micros, visible);
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
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80)
            out += ch;
        else if (b < 0xA0)
            appendUtf8(out, kHighControls[b - 0x80] ? kHighControls[b - 0x80] : 0xFFFD);
        else
            appendUtf8(out, b); // Latin-1 from 0xA0 on
    }
    return out;
}

size_t Words::sungBy(uint64_t micros) const
{
    const auto after = std::upper_bound(
        syllables.begin(), syllables.end(), micros, [](uint64_t at, const Syllable& s) { return at < s.micros; });
    return static_cast<size_t>(after - syllables.begin());
}

Words readWords(const Song& song)
{
    Words words;
    if (song.texts.empty())
        return words;

    std::vector<Piece> information;
    bool karaokeTexts = false;
    for (const TextEvent& e : song.texts) {
        if (e.type != kTextType)
            continue;
        const std::string_view bytes = bytesOf(song, e);
        karaokeTexts = karaokeTexts || marksKaraoke(bytes);
        if (isInformation(bytes))
            information.push_back({e.tick, bytes});
    }
    const bool lyrics
        = std::any_of(song.texts.begin(), song.texts.end(), [](const TextEvent& e) { return e.type == kLyricType; });
    std::vector<Piece> pieces;
    if (lyrics) {
        pieces = busiestTrack(song, [&](const TextEvent& e) { return e.type == kLyricType; });
    } else if (karaokeTexts) {
        pieces = busiestTrack(
            song, [&](const TextEvent& e) { return e.type == kTextType && !isInformation(bytesOf(song, e)); });
    }

    // One encoding for the whole song: a file is written in one, and a few
    // plain-ASCII syllables say nothing about the others.
    const bool utf8 = std::all_of(pieces.begin(), pieces.end(), [](const Piece& p) { return isValidUtf8(p.bytes); })
        && std::all_of(information.begin(), information.end(), [](const Piece& p) { return isValidUtf8(p.bytes); });
    const auto decoded = [utf8](std::string_view bytes) { return utf8 ? std::string(bytes) : fromWindows1252(bytes); };

    for (const Piece& p : information) {
        std::string line = withoutControls(decoded(p.bytes.substr(1)));
        if (words.title.empty() && line.size() > 1 && line.front() == 'T')
            words.title = withoutControls(std::string_view(line).substr(1));
        words.information.push_back(std::move(line));
    }

    Layout layout(words);
    uint32_t cachedTick = 0;
    uint64_t cachedMicros = song.tempo.micros(0);
    for (const Piece& p : pieces) {
        if (p.tick != cachedTick) {
            cachedTick = p.tick;
            cachedMicros = song.tempo.micros(p.tick);
        }
        std::string_view text = p.bytes;
        if (!lyrics) { // the text convention marks breaks by leading characters
            for (; !text.empty() && (text.front() == '\\' || text.front() == '/'); text.remove_prefix(1))
                layout.mark(text.front() == '\\' ? Break::Paragraph : Break::Line);
        }
        addEvent(layout, cachedMicros, decoded(text));
    }
    layout.finish();
    return words;
}

} // namespace midi
