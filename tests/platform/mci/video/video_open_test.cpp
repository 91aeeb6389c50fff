// How long an open keeps the window's thread: a file that holds nothing
// after its header must not hold it up, however large it is.
#include "platform/mci/video/video_device.h"

#include "tests/platform/mci/video/test_media.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

using mci::video::VideoDevice;
using namespace video_test;

namespace {

// The headers of a real AVI whose first RIFF chunk claims a gigabyte, as a
// large recording's does, and nothing after them.
std::string headerClaimingAGigabyte(const testing_support::TempDir& dir)
{
    const std::string source = (dir / "source.avi").string();
    if (!ffmpeg({"-f", "lavfi", "-i", "testsrc=size=640x480:rate=25", "-t", "1", "-c:v", "mpeg4"}, source))
        return {};
    std::string bytes = testing_support::readFile(source);
    const size_t movi = bytes.find("movi");
    if (movi == std::string::npos || movi < 8)
        return {};
    bytes.resize(movi - 8); // the movie data's list starts here
    const uint32_t claimed = (1u << 30) - 8;
    for (int i = 0; i < 4; ++i)
        bytes[4 + i] = static_cast<char>(claimed >> (8 * i));
    return bytes;
}

double openMs(const std::string& path)
{
    VideoDevice d;
    const auto start = std::chrono::steady_clock::now();
    d.open(path);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

// Space set aside for a download (20 GB, sparse: it costs no disk) or zeros
// written out: the open answers within 200 ms either way.
TEST(VideoOpen, ZerosAfterTheHeaderKeepTheCallerNoLongerThan200Ms)
{
    if (!haveFfmpeg())
        GTEST_SKIP() << "the ffmpeg command is needed to make the test video";
    testing_support::TempDir dir;
    const std::string header = headerClaimingAGigabyte(dir);
    ASSERT_FALSE(header.empty());

    const std::string sparse = (dir / "download.avi").string();
    std::ofstream(sparse, std::ios::binary) << header;
    std::filesystem::resize_file(sparse, uint64_t {20} << 30);
    EXPECT_LT(openMs(sparse), 200.0);

    const std::string written = (dir / "zeros.avi").string();
    {
        std::ofstream out(written, std::ios::binary);
        out << header;
        const std::string zeros(1 << 20, '\0');
        for (int mb = 0; mb < 48; ++mb)
            out << zeros;
    }
    EXPECT_LT(openMs(written), 200.0);
}
