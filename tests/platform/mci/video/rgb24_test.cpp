#include "platform/mci/video/rgb24.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

// The fast path goes sixteen pixels at a time; widths around that, and rows
// padded past their pixels, must still match Qt's own conversion exactly.
TEST(Rgb24, MatchesQtsOwnConversionForEveryWidthAndStride)
{
    std::mt19937 random(7);
    for (int width : {1, 15, 16, 17, 33, 640}) {
        const int height = 3;
        const int stride = width * 3 + 5;
        std::vector<uint8_t> pixels(static_cast<size_t>(stride) * height);
        for (uint8_t& b : pixels)
            b = static_cast<uint8_t>(random());
        const QImage source(pixels.data(), width, height, stride, QImage::Format_RGB888);
        QImage converted(width, height, QImage::Format_RGB32);
        mci::video::rgb24IntoRgb32(pixels.data(), stride, converted);
        EXPECT_EQ(converted, source.convertToFormat(QImage::Format_RGB32)) << width;
    }
}
