#pragma once
// File names are bytes on Linux and need not be UTF-8; the controls show them
// as QString. These two convert without loss: a byte that is not part of
// valid UTF-8 becomes the lone low surrogate U+DC80 + (byte - 0x80) and turns
// back into that byte. Every path a control hands out must go through
// encodeFileName before a system call; QFile::encodeName would turn such bytes
// into U+FFFD and miss the file.
#include <QByteArray>
#include <QString>

#include <string>

namespace ui {

QString decodeFileName(const QByteArray& bytes);
QByteArray encodeFileName(const QString& name);

inline QString decodeFileName(const std::string& bytes) { return decodeFileName(QByteArray::fromStdString(bytes)); }
inline std::string fileNameBytes(const QString& name) { return encodeFileName(name).toStdString(); }

} // namespace ui
