#pragma once
// The two reset sequence files: Standard MIDI Files of format 0 whose only
// MIDI data is one System Exclusive message.
#include <string>

namespace reset_sequences {

extern const char* const kGMFileName; // "QUORVAGM.MI_"
extern const char* const kGSFileName; // "QUORVAGS.MI_"

// The 72 bytes of the General MIDI System On file.
std::string gmFile();
// The 77 bytes of the Roland GS Reset file.
std::string gsFile();

// Writes BYTES to PATH unless a file of that name exists; an existing file is
// left untouched whatever it holds. The file appears whole or not at all.
// Throws ui::EInOutError with the system's error number on failure.
void writeIfMissing(const std::string& path, const std::string& bytes);

} // namespace reset_sequences
