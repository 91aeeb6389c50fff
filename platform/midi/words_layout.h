#pragma once
// How the words of a song are laid out: syllable by syllable into lines and
// paragraphs, no line and no letter longer than the window can lay out in
// its time. Internal to the words' reader (words.cpp), beside which the
// fuzzer builds it.
#include "platform/midi/words.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace midi::words_layout {

// The length of the UTF-8 sequence that LEAD begins, in valid UTF-8.
inline size_t utf8Length(unsigned char lead)
{
    return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// The code point of the valid UTF-8 sequence of N bytes at P.
inline uint32_t decodeUtf8(const char* p, size_t n)
{
    static constexpr unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    uint32_t c = static_cast<unsigned char>(p[0]) & kLeadBits[n];
    for (size_t i = 1; i < n; ++i)
        c = c << 6 | (static_cast<unsigned char>(p[i]) & 0x3F);
    return c;
}

// Marks that sit on the letter before them: the diacritics of Latin, Greek
// and Cyrillic, Hebrew and Arabic points, Thai vowels and tones, joiners and
// variation selectors. Any number can pile onto one letter.
inline bool isCombiningMark(uint32_t c)
{
    struct Range {
        uint32_t first, last;
    };
    static constexpr Range kMarks[] = {
        {0x0300, 0x036F}, // combining diacritical marks
        {0x0483, 0x0489}, // Cyrillic
        {0x0591, 0x05C7}, // Hebrew points and accents
        {0x0610, 0x061A}, // Arabic
        {0x064B, 0x065F},
        {0x06D6, 0x06ED},
        {0x0E31, 0x0E31}, // Thai
        {0x0E34, 0x0E3A},
        {0x0E47, 0x0E4E},
        {0x1AB0, 0x1AFF}, // the extended and supplementary diacritics
        {0x1DC0, 0x1DFF},
        {0x200C, 0x200D}, // joiners
        {0x20D0, 0x20FF}, // for symbols
        {0xFE00, 0xFE0F}, // variation selectors
        {0xFE20, 0xFE2F}, // half marks
        {0xE0100, 0xE01EF},
    };
    for (const Range& r : kMarks)
        if (c <= r.last)
            return c >= r.first;
    return false;
}

// At most MOST bytes of TEXT, cut before a whole character: after its last
// blank where it has one, so that words stay whole.
inline size_t pieceLength(std::string_view text, size_t most)
{
    if (text.size() <= most)
        return text.size();
    if (const size_t blank = text.rfind(' ', most - 1); blank != std::string_view::npos && blank > 0)
        return blank + 1;
    size_t cut = most;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return cut;
}

enum class Break { None, Line, Paragraph };

class Layout {
public:
    explicit Layout(Words& words) : w_(words) { }

    void mark(Break b) { pending_ = std::max(pending_, b); }

    // One event's syllable. A carriage return ends a line and a line feed a
    // paragraph, wherever in the event they stand; a slash before the first
    // letter of the event, or of what follows a return or a feed, begins a
    // line and a backslash a paragraph, in lyrics as in texts, and after its
    // last letter (blanks may follow) ends one. Other control characters show
    // nothing, and nor do the marks past kMostMarks on one letter.
    void addEvent(uint64_t micros, std::string_view text)
    {
        visible_.clear();
        int marks = 0;
        bool atStart = true;
        Break after = Break::None;
        size_t tail = trailStart(text, 0);
        for (size_t i = 0; i < text.size();) {
            const char c = text[i];
            const size_t n = std::min(utf8Length(static_cast<unsigned char>(c)), text.size() - i);
            if (n > 1) {
                marks = isCombiningMark(decodeUtf8(text.data() + i, n)) ? marks + 1 : 0;
                if (marks <= kMostMarks)
                    visible_.append(text.data() + i, n);
                i += n;
                atStart = false;
                continue;
            }
            ++i;
            marks = 0;
            if (c == '\r' || c == '\n') {
                add(micros, visible_);
                visible_.clear();
                mark(std::max(after, c == '\r' ? Break::Line : Break::Paragraph));
                after = Break::None;
                tail = trailStart(text, i);
                atStart = true;
            } else if ((c == '/' || c == '\\') && (atStart || i > tail)) {
                const Break b = c == '/' ? Break::Line : Break::Paragraph;
                if (atStart)
                    mark(b);
                else
                    after = std::max(after, b);
            } else if (c == '\t' || (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)) {
                visible_ += c == '\t' ? ' ' : c;
                atStart = false;
            }
        }
        add(micros, visible_);
        mark(after);
    }

    void finish()
    {
        if (open_)
            closeLine();
        w_.text.shrink_to_fit();
        w_.lines.shrink_to_fit();
        w_.syllables.shrink_to_fit();
    }

private:
    // Where the run of marks and blanks that ends the part of TEXT from FROM
    // to its next return or feed begins: once per part, so that a text of
    // many marks is read in one pass.
    static size_t trailStart(std::string_view text, size_t from)
    {
        const size_t end = std::min(text.size(), text.find_first_of("\r\n", from));
        size_t start = end;
        while (start > from) {
            const auto c = static_cast<unsigned char>(text[start - 1]);
            if (c != '/' && c != '\\' && c > 0x20 && c != 0x7F)
                break;
            --start;
        }
        return start;
    }

    // A syllable too long for a line goes in pieces, all sung at its time.
    void add(uint64_t micros, std::string_view visible)
    {
        while (!visible.empty()) {
            const size_t n = pieceLength(visible, kHardLineBytes);
            place(micros, visible.substr(0, n));
            visible.remove_prefix(n);
        }
    }
    void place(uint64_t micros, std::string_view piece)
    {
        if (open_ && (pending_ != Break::None || longEnough(piece)))
            closeLine();
        if (!open_)
            openLine();
        const auto begin = static_cast<uint32_t>(w_.text.size());
        w_.text += piece;
        const auto end = static_cast<uint32_t>(w_.text.size());
        if (w_.syllables.size() > w_.lines.back().firstSyllable && w_.syllables.back().micros == micros)
            w_.syllables.back().end = end;
        else
            w_.syllables.push_back({micros, begin, end});
    }
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
    std::string visible_;
    Break pending_ = Break::None;
    bool open_ = false;
};

} // namespace midi::words_layout
