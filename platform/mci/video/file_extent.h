#pragma once
// How much of a video file holds data, so that the demuxer is shown no more.
#include <cstdint>

namespace mci::video {

// Where an AVI ends when only zeros follow its RIFF chunks (the space a
// download in progress has set aside). The demuxer is shown the file up to
// there, so that it never walks through gigabytes of nothing looking for an
// index. The file's size when anything else follows; 0 when it is no AVI.
int64_t aviEnd(int fd, int64_t fileSize);

// Where the file's data ends when only a hole follows it: space set aside
// for a download, which reads as zeros that the demuxer would walk through.
// The file's size where no hole ends it or the file system cannot tell.
int64_t dataEnd(int fd, int64_t fileSize);

} // namespace mci::video
