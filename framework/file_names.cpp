#include "framework/file_names.h"

#include <algorithm>

namespace ui {

namespace {

// Length of the valid UTF-8 sequence at P (at most N bytes), 0 if invalid.
// Overlong forms, surrogates and code points past U+10FFFF are invalid, so
// that an escaped byte can never be confused with a decoded character.
int utf8SequenceLength(const unsigned char* p, qsizetype n, char32_t& codePoint)
{
    const unsigned char c = p[0];
    int length;
    char32_t min;
    if (c < 0x80) {
        codePoint = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        length = 2, min = 0x80, codePoint = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3, min = 0x800, codePoint = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, codePoint = c & 0x07;
    } else {
        return 0;
    }
    if (n < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (p[i] & 0x3F);
    }
    if (codePoint < min || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

// Decoding never leaves a lone high surrogate, so a low surrogate right after
// a high one is the second half of a character beyond U+FFFF (U+1F4BF is
// D83D DCBF), never an escaped byte.
bool isEscapedByte(QStringView name, qsizetype i)
{
    const char16_t c = name[i].unicode();
    if (c < 0xDC80 || c > 0xDCFF)
        return false;
    return i == 0 || !QChar::isHighSurrogate(name[i - 1].unicode());
}

} // namespace

QString decodeFileName(const QByteArray& bytes)
{
    const QString fast = QString::fromUtf8(bytes);
    if (!fast.contains(QChar(QChar::ReplacementCharacter)))
        return fast;
    QString result;
    result.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        char32_t codePoint = 0;
        const int length = utf8SequenceLength(p + i, n - i, codePoint);
        if (length == 0) {
            result.append(QChar(char16_t(0xDC00 + p[i])));
            ++i;
        } else {
            result.append(QString::fromUcs4(&codePoint, 1));
            i += length;
        }
    }
    return result;
}

QByteArray encodeFileName(const QString& name)
{
    const QStringView view(name);
    qsizetype first = 0;
    while (first < view.size() && !isEscapedByte(view, first))
        ++first;
    if (first == view.size())
        return name.toUtf8();
    QByteArray result;
    result.reserve(name.size() * 3);
    qsizetype runStart = 0;
    for (qsizetype i = first; i <= view.size(); ++i) {
        const bool end = i == view.size();
        if (!end && !isEscapedByte(view, i))
            continue;
        result.append(view.mid(runStart, i - runStart).toUtf8());
        if (!end)
            result.append(char(view[i].unicode() - 0xDC00));
        runStart = i + 1;
    }
    return result;
}

} // namespace ui
