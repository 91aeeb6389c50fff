#include "platform/mci/video/timeline.h"

#include <gtest/gtest.h>

using mci::video::Timeline;

TEST(Timeline, FrameNumbersSurviveTheTripThroughMicroseconds)
{
    const Timeline rates[] = {{25, 1}, {30000, 1001}, {24000, 1001}, {15, 1}, {25, 2}, {1000, 1}, {1, 7}};
    for (const Timeline& t : rates) {
        for (int64_t f : {0LL, 1LL, 2LL, 29LL, 30LL, 1001LL, 123457LL, 4294967295LL}) {
            const int64_t us = t.frameStartUs(f);
            EXPECT_EQ(t.frameAt(us), f) << t.rateNum << "/" << t.rateDen << " frame " << f;
            if (f > 0) {
                EXPECT_EQ(t.frameAt(us - 1), f - 1) << t.rateNum << "/" << t.rateDen << " frame " << f;
            }
        }
    }
}
