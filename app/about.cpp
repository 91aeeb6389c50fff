#include "app/about.h"

namespace about {

namespace {

// Kept scrambled so that the contact lines do not stand in the binary as
// plain text for anyone to patch.
const char kMail[] = "\x74\x78\x72\x75\x79\x64\x71\x64\x43\x74\x78\x72\x75\x79\x64\x71\x64\x31\x6c\x71\x79\x64\x6f\x6c\x67";
const int kMailOffset = 3;
const char kWeb[] = "\x6d\x79\x79\x75\x78\x3f\x34\x34\x76\x7a\x74\x77\x7b\x66\x73\x66\x33\x6e\x73\x7b\x66\x71\x6e\x69\x34";
const int kWebOffset = 5;

} // namespace

QString unscramble(const char* scrambled, int offset)
{
    QString out;
    for (const char* c = scrambled; *c; ++c)
        out += QChar(static_cast<unsigned char>(*c) - offset);
    return out;
}

QString aboutText()
{
    return QStringLiteral(
               "Quorvana 1.2 for Windows 95 and Windows NT\r\r"
               "Advanced Multimediaplayer\r\r"
               "with the poosibility to send an GM/GS-Reset after each MIDI-song.\r"
               "Plays the content of whole directories.\r\r"
               "*** Try the new context-menu by right-click in the file-list! ***\r\r")
        + QStringLiteral("Questions, ideas, bug reports:\r") + unscramble(kMail, kMailOffset) + QStringLiteral("\r")
        + unscramble(kWeb, kWebOffset);
}

} // namespace about
