#pragma once
// Text rules of file names and read-outs. Paths are byte strings: a name in
// invalid UTF-8 must survive every rule unchanged.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace textrules {

// Upper-cases the ASCII letters a to z only.
QString upperAscii(const QString& text);

// The text from the last "." to the end, dot included, if no "/" follows
// that dot; otherwise empty.
QString extractFileExt(const QString& path);

// The text after the first dot of the name after the last "/"; empty when
// the name has none. A drop names a file's kind by it: "b.mid" of "a.b.mid".
QString textAfterFirstDot(const QString& path);

// The text after the last "/", at most its first 255 characters.
QString extractFileName(const QString& path);

// Removes trailing characters whose code is below 33.
QString trimRight(const QString& text);
// Removes leading and trailing characters whose code is below 33.
QString trim(const QString& text);

// Shortest decimal form with at most 15 significant digits, no exponent and
// the user locale's decimal separator: 12.345, 5, 0.1, 0.
QString numberText(double value, QChar decimalSeparator);
QString numberText(double value);

// The file named on the command line: the arguments after the program's
// name joined by single blanks and trimmed; empty when there is none.
QString commandLineFileName(const QStringList& arguments);

} // namespace textrules
