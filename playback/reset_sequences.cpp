#include "playback/reset_sequences.h"

#include "framework/errors.h"

#include "platform/fs/file_ops.h"

namespace reset_sequences {

const char* const kGMFileName = "QUORVAGM.MI_";
const char* const kGSFileName = "QUORVAGS.MI_";

namespace {

std::string bytes(std::initializer_list<unsigned> values)
{
    std::string out;
    for (unsigned v : values)
        out += static_cast<char>(v);
    return out;
}

// Header, then a track that carries SYSEX between the same meta events in both files.
std::string resetFile(const std::string& sysex)
{
    const std::string head = bytes({0x4D, 0x54, 0x68, 0x64, 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x78});
    const std::string track = bytes({0x00, 0xFF, 0x7F, 0x03, 0x00, 0x00, 0x41,  // sequencer-specific
                                      0x00, 0xFF, 0x21, 0x01, 0x00})           // port 0
        + sysex
        + bytes({0x00, 0xFF, 0x21, 0x01, 0x00,                                 // port 0
                 0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,               // 4/4
                 0x00, 0xFF, 0x59, 0x02, 0x00, 0x00,                           // C major
                 0x00, 0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0,                     // 100 bpm
                 0x00, 0xFF, 0x2F, 0x00});                                     // end of track
    const auto n = static_cast<unsigned>(track.size());
    return head + bytes({0x4D, 0x54, 0x72, 0x6B, n >> 24 & 0xFF, n >> 16 & 0xFF, n >> 8 & 0xFF, n & 0xFF}) + track;
}

} // namespace

std::string gmFile()
{
    return resetFile(bytes({0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
}

std::string gsFile()
{
    return resetFile(bytes({0x00, 0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}));
}

void writeIfMissing(const std::string& path, const std::string& data)
{
    // Created whole or not at all: a full disk or a crash can never leave a
    // half-written reset file behind, which nothing would ever repair.
    const kernel::Status status = kernel::createFile(path, data);
    if (!status.ok() && !status.targetExists())
        throw ui::EInOutError(status.error);
}

} // namespace reset_sequences
