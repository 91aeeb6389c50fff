#pragma once
#include <QString>

namespace about {

// The about box's text, paragraphs separated by carriage returns.
QString aboutText();

// Restores a text stored with each character raised by OFFSET.
QString unscramble(const char* scrambled, int offset);

} // namespace about
