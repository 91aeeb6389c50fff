#include "core/textrules.h"

#include "platform/base/ascii.h"

#include <QLocale>

#include <cmath>
#include <cstdio>

namespace textrules {

QString upperAscii(const QString& text)
{
    QString out = text;
    for (QChar& c : out)
        if (c.unicode() < 0x80)
            c = QChar(base::ascii::toUpper(char(c.unicode())));
    return out;
}

QString extractFileExt(const QString& path)
{
    const int dot = path.lastIndexOf('.');
    if (dot < 0 || path.indexOf('/', dot) >= 0)
        return {};
    return path.mid(dot);
}

QString textAfterFirstDot(const QString& path)
{
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.indexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot + 1);
}

QString extractFileName(const QString& path)
{
    return path.mid(path.lastIndexOf('/') + 1).left(255);
}

QString trimRight(const QString& text)
{
    int end = text.size();
    while (end > 0 && text.at(end - 1).unicode() < 33)
        --end;
    return text.left(end);
}

QString trim(const QString& text)
{
    int start = 0;
    while (start < text.size() && text.at(start).unicode() < 33)
        ++start;
    return trimRight(text.mid(start));
}

QString numberText(double value, QChar decimalSeparator)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    QString text = QString::fromLatin1(buf);
    if (text.contains('e')) {
        // Beyond what %g writes plainly: fixed notation, trailing zeros cut.
        std::snprintf(buf, sizeof buf, "%.15f", value);
        text = QString::fromLatin1(buf);
        if (text.contains('.')) {
            while (text.endsWith('0'))
                text.chop(1);
            if (text.endsWith('.'))
                text.chop(1);
        }
    }
    if (text == "-0")
        text = "0";
    text.replace('.', decimalSeparator);
    return text;
}

QString numberText(double value)
{
    const QString point = QLocale::system().decimalPoint();
    return numberText(value, point.isEmpty() ? QChar('.') : point.at(0));
}

QString commandLineFileName(const QStringList& arguments)
{
    return trim(arguments.mid(1).join(' '));
}

} // namespace textrules
